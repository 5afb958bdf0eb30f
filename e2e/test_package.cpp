#include "e2e/test_package.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zarn {

std::string PatternBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<char>(x >> (8 * b));
  }
  for (; i < size; ++i) bytes[i] = static_cast<char>(x >> (8 * (i % 8)));
  return bytes;
}

PackageDescription MakeTestPackage(const std::string& partnerId, const std::string& packageId,
                                   const std::string& versionId, std::uint32_t chunkSize,
                                   const std::vector<std::size_t>& fileSizes) {
  PackageDescription package;
  package.partnerId = partnerId;
  package.packageId = packageId;
  package.versionId = versionId;
  package.chunkSize = chunkSize;
  for (std::size_t i = 0; i < fileSizes.size(); ++i) {
    std::string path;
    if (i == 0) {
      path = "bin/run.exe";
    } else if (i + 1 == fileSizes.size() && i > 1) {
      path = "data/deep/er/file" + std::to_string(i) + ".pak";
    } else {
      path = "data/file" + std::to_string(i) + ".pak";
    }
    package.files.push_back({path, PatternBytes(fileSizes[i], static_cast<std::uint32_t>(i + 7))});
  }
  package.run = package.files.front().path;
  return package;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FolderCheck CheckFolder(const PackageDescription& package, const std::string& folder) {
  FolderCheck check;
  for (const PackageFileContent& file : package.files) {
    const std::string disk = ReadWholeFile(folder + "/" + file.path);
    if (disk != file.bytes && check.exact) {
      check.exact = false;
      check.firstProblem = file.path + ": " + std::to_string(disk.size()) + " bytes on disk, " +
                           std::to_string(file.bytes.size()) + " in the source";
    }
    for (std::size_t at = 0; at < file.bytes.size(); at += package.chunkSize) {
      const std::size_t length = std::min<std::size_t>(package.chunkSize, file.bytes.size() - at);
      ++check.chunks;
      if (disk.size() >= at + length && disk.compare(at, length, file.bytes, at, length) == 0) {
        ++check.goodChunks;
        check.goodBytes += length;
      }
    }
  }
  return check;
}

std::size_t CountMissingChunks(const PackageDescription& package, const std::string& folder) {
  const FolderCheck check = CheckFolder(package, folder);
  return check.chunks - check.goodChunks;
}

std::string UniqueName(const std::string& prefix) {
  static std::atomic<int> counter{0};
  return prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

ScratchFolder::ScratchFolder() {
  path_ = (std::filesystem::temp_directory_path() / UniqueName("zarn-e2e")).string();
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::RelativeToTemp() const {
  return std::filesystem::path(path_)
      .lexically_relative(std::filesystem::temp_directory_path())
      .string();
}

}  // namespace zarn
