#ifndef ZARN_UPDATER_MODULE_RESOURCES_H_
#define ZARN_UPDATER_MODULE_RESOURCES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

// One control of a dialog template. Positions and sizes are in dialog units.
struct DialogControl {
  enum class Kind { kProgressBar, kMarqueeBar, kText };
  int id;
  Kind kind;
  int x, y, width, height;
  std::string text;
  bool visible;
};

// A dialog window as the executable describes it: caption, size in dialog units, controls.
struct DialogTemplate {
  uint16_t id;
  std::string caption;
  int width, height;
  std::vector<DialogControl> controls;
};

// What the executable carries besides its code: the string table, the binary resources
// (the message catalogs, type "MO"), the dialog templates and the program icon. Tests build
// their own; the program uses Embedded().
class ModuleResources {
 public:
  struct String {
    uint16_t id;
    const char16_t* text;
  };
  struct Binary {
    const char* type;
    uint16_t id;
    const unsigned char* data;
    std::size_t size;
  };
  struct Icon {
    uint16_t id;
    const char* const* xpm;  // lines of an XPM image
  };

  ModuleResources(std::vector<String> strings, std::vector<Binary> binaries,
                  std::vector<DialogTemplate> dialogs, std::vector<Icon> icons);

  // The resources compiled into this program.
  static const ModuleResources& Embedded();

  // Copies string `id` into buffer (at most capacity - 1 units, then a terminating zero)
  // and returns the number of units copied; 0 when the string is missing or empty.
  int LoadString(uint16_t id, char16_t* buffer, int capacity) const;

  // The bytes of binary resource (type, id); false when there is none.
  bool FindBinary(const std::string& type, uint16_t id, const unsigned char** data,
                  std::size_t* size) const;

  // nullptr when missing.
  const DialogTemplate* FindDialog(uint16_t id) const;
  const char* const* FindIcon(uint16_t id) const;

 private:
  std::vector<String> strings_;
  std::vector<Binary> binaries_;
  std::vector<DialogTemplate> dialogs_;
  std::vector<Icon> icons_;
};

// Resource ids of the program.
enum : uint16_t {
  kProgressDialogId = 101,
  kProgramIconId = 110,
  kProgressBarId = 1001,
  kProgressTextId = 1002,
  kMarqueeBarId = 1003,
};

// The generated parts of Embedded().
const std::vector<ModuleResources::String>& EmbeddedStringTable();
const std::vector<ModuleResources::Binary>& EmbeddedCatalogs();

// The progress dialog's template (dialog 101) and the program icon (icon 110).
DialogTemplate ProgressDialogTemplate();
const char* const* ProgramIcon();

}  // namespace zarn

#endif  // ZARN_UPDATER_MODULE_RESOURCES_H_
