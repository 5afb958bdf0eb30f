#include "storage/path_helpers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "storage/test_folder.h"

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
      {"dir", "", "dir"},  // no trailing separator
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
      {"rel", "x", cwd + "/rel/x"},  // a relative base is resolved against the current folder
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
      {"setup.EXE", ".EXE"},   {"archive.tar.gz", ".gz"}, {"/a/dir.d/name", ""},
      {"name", ""},            {".", ""},                 {"/x/..", ""},
      {".exe", ".exe"},        {"run.", "."},             {"a/b/setup.msi", ".msi"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetPathExtension(c.path), c.extension) << c.path;
  }
}

class TmpdirOverride {
 public:
  explicit TmpdirOverride(const std::string& value) {
    if (const char* old = getenv("TMPDIR")) old_ = old;
    setenv("TMPDIR", value.c_str(), 1);
  }
  ~TmpdirOverride() {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST(PathHelpersTest, GetTempFolderNamesAnExistingFolderOrNothing) {
  TestFolder folder;
  {
    TmpdirOverride tmpdir(folder.path());
    EXPECT_EQ(GetTempFolder(), folder.path());
  }
  {
    TmpdirOverride tmpdir(folder / "missing");
    EXPECT_EQ(GetTempFolder(), "");
  }
  folder.WriteFile("plain", "x");
  {
    TmpdirOverride tmpdir(folder / "plain");
    EXPECT_EQ(GetTempFolder(), "");
  }
}

}  // namespace
}  // namespace zarn
