#include "storage/path_helpers.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zarn {
namespace {

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string MakeAbsolute(const std::string& path) {
  if (IsAbsolute(path)) return path;
  return JoinPath(std::filesystem::current_path().string(), path);
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The home folder of this user in the password database; "" when it has no entry.
std::string PasswordDatabaseHome() {
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  int error;
  while ((error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  return error == 0 && found != nullptr && found->pw_dir != nullptr ? found->pw_dir : "";
}

// HOME when it is absolute, else the password database's home; "" when that is no folder.
std::string HomeFolder() {
  std::string home = Variable("HOME");
  if (!IsAbsolute(home)) home = PasswordDatabaseHome();
  return IsAbsolute(home) && IsFolder(home) ? WithoutTrailingSlashes(home) : "";
}

}  // namespace

std::string JoinPath(const std::string& a, const std::string& b) {
  if (b.empty()) return a;
  if (a.empty() || a.back() == '/' || b.front() == '/') return a + b;
  return a + '/' + b;
}

std::string ResolvePath(const std::string& base, const std::string& relative) {
  if (IsAbsolute(relative)) return relative;
  return JoinPath(MakeAbsolute(base), relative);
}

std::string GetTempFolder() {
  // A relative TMPDIR would put the working folders below whatever folder the program
  // was started from, which may belong to someone else.
  const std::string tmpdir = Variable("TMPDIR");
  if (IsAbsolute(tmpdir) && IsFolder(tmpdir)) return WithoutTrailingSlashes(tmpdir);
  // The shared /tmp would let the first user who makes the product's folder there lock
  // every other user out; a user's cache folder is theirs alone.
  const std::string cache = Variable("XDG_CACHE_HOME");
  if (IsAbsolute(cache)) return WithoutTrailingSlashes(cache);
  const std::string home = HomeFolder();
  return home.empty() ? "/tmp" : JoinPath(home, ".cache");
}

std::string GetPathExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name == "." || name == "..") return "";
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot);
}

}  // namespace zarn
