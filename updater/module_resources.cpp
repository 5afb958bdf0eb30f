#include "updater/module_resources.h"

#include <algorithm>
#include <utility>

namespace zarn {

extern const char* const kProgramIconXpm[];

ModuleResources::ModuleResources(std::vector<String> strings, std::vector<Binary> binaries,
                                 std::vector<DialogTemplate> dialogs, std::vector<Icon> icons)
    : strings_(std::move(strings)),
      binaries_(std::move(binaries)),
      dialogs_(std::move(dialogs)),
      icons_(std::move(icons)) {}

const ModuleResources& ModuleResources::Embedded() {
  static const ModuleResources resources(EmbeddedStringTable(), EmbeddedCatalogs(),
                                         {ProgressDialogTemplate()},
                                         {{kProgramIconId, ProgramIcon()}});
  return resources;
}

int ModuleResources::LoadString(uint16_t id, char16_t* buffer, int capacity) const {
  if (buffer == nullptr || capacity <= 0) return 0;
  buffer[0] = 0;
  for (const String& s : strings_) {
    if (s.id != id || s.text == nullptr) continue;
    int n = 0;
    while (n < capacity - 1 && s.text[n] != 0) {
      buffer[n] = s.text[n];
      ++n;
    }
    buffer[n] = 0;
    return n;
  }
  return 0;
}

bool ModuleResources::FindBinary(const std::string& type, uint16_t id, const unsigned char** data,
                                 std::size_t* size) const {
  for (const Binary& b : binaries_) {
    if (b.id == id && type == b.type && b.data != nullptr) {
      *data = b.data;
      *size = b.size;
      return true;
    }
  }
  return false;
}

const DialogTemplate* ModuleResources::FindDialog(uint16_t id) const {
  auto it = std::find_if(dialogs_.begin(), dialogs_.end(),
                         [id](const DialogTemplate& d) { return d.id == id; });
  return it == dialogs_.end() ? nullptr : &*it;
}

const char* const* ModuleResources::FindIcon(uint16_t id) const {
  for (const Icon& icon : icons_) {
    if (icon.id == id) return icon.xpm;
  }
  return nullptr;
}

const char* const* ProgramIcon() { return kProgramIconXpm; }

DialogTemplate ProgressDialogTemplate() {
  using Kind = DialogControl::Kind;
  return DialogTemplate{
      kProgressDialogId,
      "Downloader",
      213,
      39,
      {
          {kProgressBarId, Kind::kProgressBar, 7, 6, 198, 14, "", true},
          {kProgressTextId, Kind::kText, 8, 24, 196, 8, "Calculating time remaining", true},
          {kMarqueeBarId, Kind::kMarqueeBar, 7, 6, 198, 14, "", false},
      }};
}

}  // namespace zarn
