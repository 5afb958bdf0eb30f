#ifndef ZARN_UPDATER_UI_TERMINAL_FRONT_END_H_
#define ZARN_UPDATER_UI_TERMINAL_FRONT_END_H_

#include <termios.h>

#include <chrono>
#include <string>

#include "updater/ui/front_end.h"

namespace zarn {
namespace ui {

// The dialog as lines of a terminal. The title is printed once; on a terminal the progress
// line is redrawn in place ("[#####     ]  25%  3 minutes remaining", a moving block for
// the marquee), otherwise one line is printed per change of the text or per whole second
// of progress. A message box prints "caption: text" on the error stream and, on a
// terminal, waits for Enter. SIGINT, SIGTERM and, on a terminal, 'q' or Esc close the
// window; without a window the signals keep their default action.
class TerminalFrontEnd : public FrontEnd {
 public:
  // `out` and `err` are file descriptors; `interactive` decides whether the terminal on
  // standard input is used for keys and in-place redrawing.
  TerminalFrontEnd(int out, int err, bool interactive);
  ~TerminalFrontEnd() override;

  TerminalFrontEnd(const TerminalFrontEnd&) = delete;
  TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

  void SetCommandSink(CommandSink sink) override { sink_ = std::move(sink); }
  void CreateWindow(WindowId window, const DialogTemplate& dialog) override;
  void DestroyWindow(WindowId window) override;
  void SetTitle(WindowId window, const std::string& text) override;
  void SetItemText(WindowId window, int item, const std::string& text) override;
  void SetProgress(WindowId window, int item, int position) override;
  void SetMarquee(WindowId window, int item, bool on) override;
  void ShowItem(WindowId window, int item, bool visible) override;
  void SetIcon(WindowId, const char* const*) override {}
  Rect GetWindowRect(WindowId window) override;
  Rect GetDesktopRect() override;
  void MoveWindow(WindowId, const Rect&) override {}
  void ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption) override;
  void Wait(std::chrono::milliseconds timeout) override;
  void Wake() override;

 private:
  // Reads what arrived on the signal and key descriptors; true when the user asked to
  // close.
  bool Drain();
  // Keys arrive one by one, unechoed, without blocking (saving the terminal's settings);
  // LeaveRawMode restores them. Both do nothing when there is nothing to do.
  void EnterRawMode();
  void LeaveRawMode();
  void Render(bool force);
  void ClearLine();
  void Write(int fd, const std::string& text);

  int out_, err_;
  bool interactive_;
  int tty_ = -1;
  bool raw_ = false;
  termios savedTermios_{};
  int wake_[2] = {-1, -1};
  CommandSink sink_;

  WindowId window_ = 0;
  std::string title_;
  std::string text_;
  int position_ = 0;
  bool barVisible_ = true;
  bool marqueeVisible_ = false;
  bool marqueeOn_ = false;
  int marqueeStep_ = 0;
  bool lineDrawn_ = false;
  std::string printedText_;
  int printedPosition_ = -1;
  std::chrono::steady_clock::time_point printedAt_{};
};

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_UI_TERMINAL_FRONT_END_H_
