#include "updater/windows_shortcut.h"

#include <cstdint>
#include <utility>

#include "storage/path_helpers.h"
#include "storage/shared_file_factory.h"
#include "storage/text_conversion.h"
#include "updater/file_helpers.h"

namespace zarn {

WindowsShortcut::WindowsShortcut(std::string name, std::string folder, SharedFileFactory* factory)
    : SimpleShortcut(std::move(name)), folder_(std::move(folder)), factory_(factory) {
  fileName_ = name_ + ".url";
}

std::string InternetShortcutBytes(const std::string& target) {
  // wchar_t holds 32 bits here; each element carries one UTF-16 unit, written as two bytes.
  const std::wstring text = Utf8ToWide("[InternetShortcut]\r\nURL=" + target +
                                       "\r\nIconFile=" + target + "\r\nIconIndex=0\r\n");
  std::string bytes = "\xFF\xFE";
  for (wchar_t unit : text) {
    const uint32_t u = static_cast<uint32_t>(unit) & 0xFFFFu;
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

bool WindowsShortcut::Create(const std::string& target) {
  try {
    if (!CreateDirectories(folder_)) return false;
    if (FolderExists(ResolvePath(folder_, fileName_)) && !RemoveFileAt(folder_, fileName_)) {
      return false;
    }
    const std::string bytes = InternetShortcutBytes(target);
    auto file = factory_->Create(folder_, fileName_, SharedFileOpenMode::CreateNew, 0, UINT64_MAX);
    file->Write(bytes.data(), 2);
    file->Write(bytes.data() + 2, static_cast<uint32_t>(bytes.size() - 2));
    return true;
  } catch (...) {
    return false;
  }
}

bool WindowsShortcut::SaveAs(const std::string& folder, const std::string& name) {
  try {
    return CopyPath(ResolvePath(folder_, fileName_), ResolvePath(folder, name + ".url"));
  } catch (...) {
    return false;
  }
}

bool WindowsShortcut::Remove(const std::string& folder, const std::string& name) {
  return RemoveFileAt(folder, name + ".url");
}

}  // namespace zarn
