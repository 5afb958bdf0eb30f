#ifndef ZARN_E2E_TEST_PACKAGE_H_
#define ZARN_E2E_TEST_PACKAGE_H_

// Multi-file test packages with deterministic content, and the check of a destination
// folder against the package's sources, chunk by chunk.

#include <cstdint>
#include <string>
#include <vector>

#include "testing/package/package_maker.h"

namespace zarn {

// Deterministic bytes that differ from seed to seed and chunk to chunk.
std::string PatternBytes(std::size_t size, std::uint32_t seed);

// A package of files with the given sizes: the first is the run file "bin/run.exe", the
// others "data/file<i>.pak" (the last one below a deeper folder, "data/deep/er/").
PackageDescription MakeTestPackage(const std::string& partnerId, const std::string& packageId,
                                   const std::string& versionId, std::uint32_t chunkSize,
                                   const std::vector<std::size_t>& fileSizes);

// What a destination folder holds of a package.
struct FolderCheck {
  bool exact = true;            // every file present, of its size, byte for byte
  std::size_t chunks = 0;       // chunks of the package
  std::size_t goodChunks = 0;   // chunks whose bytes on disk equal the source
  std::uint64_t goodBytes = 0;  // bytes in those chunks
  std::string firstProblem;     // for test messages
};
FolderCheck CheckFolder(const PackageDescription& package, const std::string& folder);

// The chunks (file index, chunk index) whose bytes on disk differ from the source.
std::size_t CountMissingChunks(const PackageDescription& package, const std::string& folder);

// The whole file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// A name unique to this process and call, for folders below the temporary folder.
std::string UniqueName(const std::string& prefix);

// A fresh folder below the temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The path relative to the temporary folder, for the engine's working folders.
  std::string RelativeToTemp() const;

 private:
  std::string path_;
};

}  // namespace zarn

#endif  // ZARN_E2E_TEST_PACKAGE_H_
