#ifndef ZARN_UPDATER_UI_DIALOG_HOST_H_
#define ZARN_UPDATER_UI_DIALOG_HOST_H_

#include <cstdint>
#include <functional>
#include <string>

namespace zarn {

struct DialogTemplate;

namespace ui {

// A window, named by a number that is never reused; 0 names none.
using WindowId = uint64_t;

// Messages a dialog procedure receives.
constexpr uint32_t kInitDialogMessage = 0x0110;
constexpr uint32_t kCommandMessage = 0x0111;
constexpr uint32_t kDestroyMessage = 0x0002;
// Commands of kCommandMessage (its first argument).
constexpr uintptr_t kOkCommand = 1;
constexpr uintptr_t kCancelCommand = 2;

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// The window procedure of a modal dialog; runs on the host's UI thread only. Returns
// whether it handled the message.
using DialogProc =
    std::function<bool(WindowId window, uint32_t message, uintptr_t first, intptr_t second)>;

// Modal dialogs and message boxes with the threading of a desktop window system: the
// dialog procedure runs on the thread that called RunModal (the UI thread); a call from
// another thread is carried out there and waits until it is done; every call on a window
// that is gone fails at once with false.
class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Creates the window, gives `proc` kInitDialogMessage, serves messages until EndDialog,
  // gives `proc` kDestroyMessage, destroys the window and returns EndDialog's result.
  // -1 when a dialog is running already.
  virtual intptr_t RunModal(const DialogTemplate& dialog, DialogProc proc) = 0;
  // Ends the modal loop of `window`.
  virtual bool EndDialog(WindowId window, intptr_t result) = 0;
  // Calls the window's procedure with the message and waits until it has returned.
  virtual bool SendMessage(WindowId window, uint32_t message, uintptr_t first, intptr_t second) = 0;

  virtual bool SetTitle(WindowId window, const std::string& text) = 0;
  virtual bool SetItemText(WindowId window, int item, const std::string& text) = 0;
  // Position 0-100 of a progress bar.
  virtual bool SetProgress(WindowId window, int item, int position) = 0;
  // Switches the endless animation of a marquee bar on or off.
  virtual bool SetMarquee(WindowId window, int item, bool on) = 0;
  virtual bool ShowItem(WindowId window, int item, bool visible) = 0;
  // Lines of an XPM image.
  virtual bool SetIcon(WindowId window, const char* const* xpm) = 0;
  virtual bool GetWindowRect(WindowId window, Rect* rect) = 0;
  virtual Rect GetDesktopRect() = 0;
  virtual bool MoveWindow(WindowId window, const Rect& rect) = 0;

  // An error box; returns when the user has dismissed it. `owner` (or 0) ignores close
  // input meanwhile.
  virtual void MessageBox(WindowId owner, const std::string& text, const std::string& caption) = 0;
};

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_UI_DIALOG_HOST_H_
