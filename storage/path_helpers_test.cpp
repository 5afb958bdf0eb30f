#include "storage/path_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

TEST(PathHelpersTest, JoinPath) {
  struct Case {
    const char* a;
    const char* b;
    const char* joined;
  } cases[] = {
      {"/dir", "file.txt", "/dir/file.txt"},
      {"/dir/", "sub/file", "/dir/sub/file"},  // no doubled separator
      {"", "file", "file"},
      {"dir", "", "dir"},          // no trailing separator
      {"dir", "/abs", "dir/abs"},  // an absolute second part is appended as it stands
      {"a\\b", "c", "a\\b/c"},     // '\' is an ordinary character here
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JoinPath(c.a, c.b), c.joined) << c.a << " + " << c.b;
  }
}

TEST(PathHelpersTest, ResolvePath) {
  const std::string cwd = std::filesystem::current_path().string();
  struct Case {
    std::string base;
    std::string relative;
    std::string resolved;
  } cases[] = {
      {"/base", "/x", "/x"},
      {"/base", "x/y", "/base/x/y"},
      {"/base", "", "/base"},
      {"/base/", "x", "/base/x"},
      // A relative or empty base is resolved against the current folder.
      {"rel", "x", cwd + "/rel/x"},
      {"", "x", cwd + "/x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolvePath(c.base, c.relative), c.resolved) << c.base << " + " << c.relative;
  }
}

TEST(PathHelpersTest, GetPathExtension) {
  struct Case {
    const char* path;
    const char* extension;
  } cases[] = {
      {"setup.EXE", ".EXE"},
      {"archive.tar.gz", ".gz"},
      {"/a/dir.d/name", ""},
      {"name", ""},
      {".", ""},
      {"/x/..", ""},
      {".exe", ".exe"},
      {"run.", "."},
      {"a/b/setup.msi", ".msi"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetPathExtension(c.path), c.extension) << c.path;
  }
}

// The temporary folder is TMPDIR only when that is an absolute path to a folder: never ""
// and never relative, which would put the working folders below whatever folder the
// program was started from.
TEST(PathHelpersTest, GetTempFolderIsAnAbsoluteFolderOrTmp) {
  TestFolder folder;
  folder.WriteFile("plain", "x");
  std::filesystem::create_directory_symlink(folder.path(), folder / "link");
  const struct {
    std::string tmpdir;
    std::string expected;
  } cases[] = {
      {folder.path(), folder.path()},     {folder.path() + "//", folder.path()},
      {folder / "link", folder / "link"}, {folder / "missing", "/tmp"},
      {folder / "plain", "/tmp"},         {".", "/tmp"},
      {"relative/sub", "/tmp"},           {"", "/tmp"},
  };
  for (const auto& c : cases) {
    ScopedTmpdir tmpdir(c.tmpdir);
    EXPECT_EQ(GetTempFolder(), c.expected) << "TMPDIR=" << c.tmpdir;
  }
  {
    ScopedTmpdir tmpdir("");
    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempFolder(), "/tmp");
  }
}

}  // namespace
}  // namespace zarn
