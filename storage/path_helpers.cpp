#include "storage/path_helpers.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zarn {
namespace {

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string MakeAbsolute(const std::string& path) {
  if (IsAbsolute(path)) return path;
  return JoinPath(std::filesystem::current_path().string(), path);
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
  const char* variable = std::getenv("TMPDIR");
  std::string folder = variable != nullptr ? variable : "";
  std::error_code error;
  if (!IsAbsolute(folder) || !std::filesystem::is_directory(folder, error)) return "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string GetPathExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name == "." || name == "..") return "";
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot);
}

}  // namespace zarn
