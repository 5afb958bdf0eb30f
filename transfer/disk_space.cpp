#include "transfer/disk_space.h"

#include <filesystem>
#include <system_error>

namespace zarn {

uint64_t GetFreeSpace(const std::string& path) {
  if (path.empty()) return 0;
  std::error_code error;
  const std::filesystem::space_info info = std::filesystem::space(path, error);
  if (error || info.available == static_cast<std::uintmax_t>(-1)) return 0;
  return info.available;
}

uint64_t GetFileSizeOnDisk(const std::string& path) {
  if (path.empty()) return 0;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || error) return 0;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

}  // namespace zarn
