#include "transfer/manifest/manifest_path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

std::string Repeated(const std::string& piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// A normalised path of exactly `bytes` bytes: segments of 99 bytes and a shorter last one.
std::string PathOf(std::size_t bytes) {
  std::string path;
  while (path.size() + 100 < bytes) path += std::string(99, 'd') + '/';
  return path + std::string(bytes - path.size(), 'f');
}

TEST(ManifestPathTest, NormalisesRelativePaths) {
  const std::pair<std::string, std::string> cases[] = {
      {"run.exe", "run.exe"},
      {"bin/run.exe", "bin/run.exe"},
      {"bin\\data\\a.pak", "bin/data/a.pak"},
      {"./bin//x/", "bin/x"},
      {"a/./b", "a/b"},
      {" spaced name ", " spaced name "},
      {"..hidden/x..y", "..hidden/x..y"},
      {"dir:stream", "dir:stream"},
      // What the file system holds: 4 096 bytes in all, 255 a segment, once normalised.
      {PathOf(4096), PathOf(4096)},
      {"./" + PathOf(4096) + "//", PathOf(4096)},
      {std::string(255, 'n'), std::string(255, 'n')},
      {std::string(255, 'n') + "\\" + std::string(255, 'm'),
       std::string(255, 'n') + "/" + std::string(255, 'm')},
      {Repeated("a/", 2047) + "bc", Repeated("a/", 2047) + "bc"},
      // Empty and "." segments are no folders, however many.
      {"a" + std::string(100000, '/') + "b", "a/b"},
      {Repeated("./", 100000) + "f", "f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalizeManifestPath(c.first), c.second) << c.first.substr(0, 40);
  }
}

TEST(ManifestPathTest, RefusesPathsThatLeaveTheFolder) {
  const char* cases[] = {
      "",     ".",  "./",   "/etc/passwd", "\\x.exe",  "//server/share/x", "C:\\x.exe", "c:x.exe",
      "Z:/x", "..", "../x", "a/../../x",   "a\\..\\x", "a/b/..",           "a/../b",
  };
  for (const char* c : cases) {
    EXPECT_THROW(NormalizeManifestPath(c), ManifestParseException) << c;
  }
}

TEST(ManifestPathTest, RefusesPathsTheFileSystemCannotHold) {
  const std::string cases[] = {
      PathOf(4097),
      PathOf(4096) + "/x",
      std::string(256, 'n'),
      "dir/" + std::string(256, 'n') + "/f",
      "dir\\" + std::string(256, 'n'),
      Repeated("a/", 2048) + "b",
      Repeated("a/", 100000),  // a folder in every two bytes
      std::string(10 * 1024 * 1024, 'n'),
  };
  for (const std::string& c : cases) {
    EXPECT_THROW(NormalizeManifestPath(c), ManifestParseException) << c.size();
  }
}

// "one.bin" and "one.bin\0" would be two entries but one file on disk.
TEST(ManifestPathTest, RefusesControlCharacters) {
  const std::string cases[] = {
      std::string("data/one.bin\0", 13),
      std::string("\0", 1),
      "a\tb",
      "a\nb",
      "dir\r/x",
      "a\x1f",
      "a\x7f",
      "\x01/x",
  };
  for (const std::string& c : cases) {
    EXPECT_THROW(NormalizeManifestPath(c), ManifestParseException) << c.size();
  }
  EXPECT_EQ(NormalizeManifestPath("caf\xc3\xa9/~x y"), "caf\xc3\xa9/~x y");
}

}  // namespace
}  // namespace zarn
