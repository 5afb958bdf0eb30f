#ifndef ZARN_UPDATER_WINDOWS_SHORTCUT_H_
#define ZARN_UPDATER_WINDOWS_SHORTCUT_H_

#include <string>

#include "updater/simple_shortcut.h"

namespace zarn {

class SharedFileFactory;

// A Windows internet shortcut (name + ".url" in a folder): UTF-16 little-endian with a
// byte-order mark, pointing at a target path and using it as its icon.
class WindowsShortcut : public SimpleShortcut {
 public:
  // `factory` is not owned and must outlive the shortcut.
  WindowsShortcut(std::string name, std::string folder, SharedFileFactory* factory);

  bool Create(const std::string& target) override;
  // `name` gets ".url" appended.
  bool SaveAs(const std::string& folder, const std::string& name) override;
  bool Remove(const std::string& folder, const std::string& name) override;

  const std::string& file_name() const { return fileName_; }

 private:
  std::string fileName_;
  std::string folder_;
  SharedFileFactory* factory_;
};

// The file's bytes for `target` (UTF-8): the byte-order mark FF FE, then UTF-16LE of
// "[InternetShortcut]\r\nURL=<target>\r\nIconFile=<target>\r\nIconIndex=0\r\n".
std::string InternetShortcutBytes(const std::string& target);

}  // namespace zarn

#endif  // ZARN_UPDATER_WINDOWS_SHORTCUT_H_
