#include "storage/path_helpers.h"

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
  try {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return "";
    return folder.string();
  } catch (...) {
    return "";
  }
}

std::string GetPathExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name == "." || name == "..") return "";
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot);
}

}  // namespace zarn
