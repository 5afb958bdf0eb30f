#include "storage/path_helpers.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "storage/testing/in_child.h"
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

// The working folders' base is the user's own: TMPDIR only when it is an absolute path to a
// folder, never "" nor relative, which would put them below whatever folder the program was
// started from; else the user's cache folder, which need not exist yet; /tmp only for a
// user without a home folder.
TEST(PathHelpersTest, GetTempFolderIsTmpdirOrTheUsersCacheFolder) {
  TestFolder folder;
  folder.WriteFile("plain", "x");
  std::filesystem::create_directory_symlink(folder.path(), folder / "link");
  std::filesystem::create_directory(folder / "home");
  const std::string home = folder / "home";
  const std::string cache = home + "/.cache";
  const std::optional<std::string> unset;
  const struct {
    std::optional<std::string> tmpdir;
    std::optional<std::string> xdg_cache_home;
    std::optional<std::string> home;
    std::string expected;
  } cases[] = {
      {folder.path(), unset, home, folder.path()},
      {folder.path() + "//", unset, home, folder.path()},
      {folder / "link", unset, home, folder / "link"},
      {folder / "missing", unset, home, cache},
      {folder / "plain", unset, home, cache},
      {".", unset, home, cache},
      {"relative/sub", unset, home, cache},
      {"", unset, home, cache},
      {unset, unset, home, cache},
      {unset, unset, home + "/", cache},
      {unset, folder / "cache/", home, folder / "cache"},  // need not exist yet
      {unset, "", home, cache},
      {unset, "relative", home, cache},
      {unset, folder / "cache", folder / "missing", folder / "cache"},
      {unset, unset, folder / "missing", "/tmp"},
      {unset, unset, folder / "plain", "/tmp"},
  };
  for (const auto& c : cases) {
    ScopedVariable tmpdir("TMPDIR", c.tmpdir);
    ScopedVariable xdg_cache_home("XDG_CACHE_HOME", c.xdg_cache_home);
    ScopedVariable home_variable("HOME", c.home);
    EXPECT_EQ(GetTempFolder(), c.expected)
        << "TMPDIR=" << c.tmpdir.value_or("(unset)")
        << " XDG_CACHE_HOME=" << c.xdg_cache_home.value_or("(unset)")
        << " HOME=" << c.home.value_or("(unset)");
  }
}

// Without a usable HOME, the home folder is the password database's.
TEST(PathHelpersTest, GetTempFolderFindsTheHomeFolderInThePasswordDatabase) {
  ScopedVariable tmpdir("TMPDIR", std::nullopt);
  ScopedVariable xdg_cache_home("XDG_CACHE_HOME", std::nullopt);
  const passwd* entry = getpwuid(geteuid());
  const std::string home = entry != nullptr ? entry->pw_dir : "";
  std::error_code error;
  const std::string expected = !home.empty() && std::filesystem::is_directory(home, error)
                                   ? JoinPath(home, ".cache")
                                   : "/tmp";
  for (const std::optional<std::string>& variable :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("relative")}) {
    ScopedVariable home_variable("HOME", variable);
    EXPECT_EQ(GetTempFolder(), expected) << "HOME=" << variable.value_or("(unset)");
  }

  // A user without an entry has no home folder.
  constexpr uid_t kUnknown = 4242;
  if (geteuid() != 0 || getpwuid(kUnknown) != nullptr) return;  // no unknown user to become
  ScopedVariable home_variable("HOME", std::nullopt);
  EXPECT_EQ(RunInChild([] {
              const std::string failed = BecomeUser(kUnknown);
              if (!failed.empty()) return failed;
              const std::string temp = GetTempFolder();
              return temp == "/tmp" ? "" : "the temporary folder is " + temp;
            }),
            "");
}

}  // namespace
}  // namespace zarn
