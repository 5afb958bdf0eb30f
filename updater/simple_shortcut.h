#ifndef ZARN_UPDATER_SIMPLE_SHORTCUT_H_
#define ZARN_UPDATER_SIMPLE_SHORTCUT_H_

#include <string>
#include <utility>

namespace zarn {

// A named shortcut file. Every operation reports false instead of throwing.
class SimpleShortcut {
 public:
  explicit SimpleShortcut(std::string name) : name_(std::move(name)) {}
  virtual ~SimpleShortcut() = default;

  // Writes the shortcut pointing at `target`, replacing an older one.
  virtual bool Create(const std::string& target) = 0;
  // Copies the shortcut's file to folder/name; fails when that exists.
  virtual bool SaveAs(const std::string& folder, const std::string& name) = 0;
  // Removes folder/name (not this shortcut's own file).
  virtual bool Remove(const std::string& folder, const std::string& name) = 0;

  const std::string& name() const { return name_; }

 protected:
  std::string name_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_SIMPLE_SHORTCUT_H_
