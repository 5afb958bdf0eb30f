#ifndef ZARN_UPDATER_UI_FRONT_END_H_
#define ZARN_UPDATER_UI_FRONT_END_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "updater/ui/dialog_host.h"

namespace zarn {
namespace ui {

// What a QueuedDialogHost draws on: a window system, a terminal, a recorder. Every call
// but Wake comes from the host's UI thread.
class FrontEnd {
 public:
  // Reports user input: a command (kCancelCommand for close) for a window.
  using CommandSink = std::function<void(WindowId window, uintptr_t command)>;

  virtual ~FrontEnd() = default;

  // Called once, before any other call.
  virtual void SetCommandSink(CommandSink sink) = 0;

  virtual void CreateWindow(WindowId window, const DialogTemplate& dialog) = 0;
  virtual void DestroyWindow(WindowId window) = 0;
  virtual void SetTitle(WindowId window, const std::string& text) = 0;
  virtual void SetItemText(WindowId window, int item, const std::string& text) = 0;
  virtual void SetProgress(WindowId window, int item, int position) = 0;
  virtual void SetMarquee(WindowId window, int item, bool on) = 0;
  virtual void ShowItem(WindowId window, int item, bool visible) = 0;
  virtual void SetIcon(WindowId window, const char* const* xpm) = 0;
  virtual Rect GetWindowRect(WindowId window) = 0;
  virtual Rect GetDesktopRect() = 0;
  virtual void MoveWindow(WindowId window, const Rect& rect) = 0;
  // Returns when the user has dismissed the box.
  virtual void ShowMessageBox(WindowId owner, const std::string& text,
                              const std::string& caption) = 0;

  // Serves user input for at most `timeout`, returning early after Wake.
  virtual void Wait(std::chrono::milliseconds timeout) = 0;
  // Makes a current or the next Wait return. Any thread.
  virtual void Wake() = 0;
};

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_UI_FRONT_END_H_
