#include "transfer/manifest/manifest_path.h"

#include <gtest/gtest.h>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

TEST(ManifestPathTest, NormalisesRelativePaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"run.exe", "run.exe"},
      {"bin/run.exe", "bin/run.exe"},
      {"bin\\data\\a.pak", "bin/data/a.pak"},
      {"./bin//x/", "bin/x"},
      {"a/./b", "a/b"},
      {" spaced name ", " spaced name "},
      {"..hidden/x..y", "..hidden/x..y"},
      {"dir:stream", "dir:stream"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeManifestPath(c.first), c.second) << c.first;
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
