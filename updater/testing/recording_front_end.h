#ifndef ZARN_UPDATER_TESTING_RECORDING_FRONT_END_H_
#define ZARN_UPDATER_TESTING_RECORDING_FRONT_END_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "updater/ui/front_end.h"

namespace zarn {
namespace ui {

// A front end for tests: records every call with its thread, and plays a scripted user who
// closes the window when told to (or when a given call is recorded) and dismisses message
// boxes at once or only when released.
class RecordingFrontEnd : public FrontEnd {
 public:
  struct Event {
    std::string what;  // "create", "destroy", "title", "text", "progress", "marquee",
                       // "show", "icon", "move", "box", "close" (user input)
    WindowId window = 0;
    int item = 0;
    std::string text;     // title, item text, box text
    std::string caption;  // box caption
    int value = 0;        // progress position, marquee or visibility flag
    Rect rect;            // move
    std::thread::id thread;
  };
  using Predicate = std::function<bool(const Event&)>;

  RecordingFrontEnd();

  std::vector<Event> Events() const;
  // Waits until some recorded event matches; false after `timeout`.
  bool WaitForEvent(const Predicate& predicate,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

  // Waits until at least `count` recorded events match; false after `timeout`.
  bool WaitForEvents(const Predicate& predicate, std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

  // The user closes the current window at the next chance.
  void Close();
  // The user closes the window as soon as an event matching `predicate` is recorded.
  void CloseWhen(Predicate predicate);
  // Boxes stay open until ReleaseBoxes (default: dismissed at once).
  void HoldBoxes();
  void ReleaseBoxes();

  void set_desktop(const Rect& rect) { desktop_ = rect; }
  void set_window_size(int width, int height) {
    width_ = width;
    height_ = height;
  }

  // FrontEnd
  void SetCommandSink(CommandSink sink) override { sink_ = std::move(sink); }
  void CreateWindow(WindowId window, const DialogTemplate& dialog) override;
  void DestroyWindow(WindowId window) override;
  void SetTitle(WindowId window, const std::string& text) override;
  void SetItemText(WindowId window, int item, const std::string& text) override;
  void SetProgress(WindowId window, int item, int position) override;
  void SetMarquee(WindowId window, int item, bool on) override;
  void ShowItem(WindowId window, int item, bool visible) override;
  void SetIcon(WindowId window, const char* const* xpm) override;
  Rect GetWindowRect(WindowId window) override;
  Rect GetDesktopRect() override { return desktop_; }
  void MoveWindow(WindowId window, const Rect& rect) override;
  void ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption) override;
  void Wait(std::chrono::milliseconds timeout) override;
  void Wake() override;

 private:
  void Record(Event event);
  // Records "close" and hands the close to the host.
  void Deliver(WindowId window);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Event> events_;
  std::vector<Predicate> closeWhen_;
  bool closeRequested_ = false;
  bool woken_ = false;
  bool holdBoxes_ = false;
  uint64_t releaseGeneration_ = 0;
  WindowId window_ = 0;
  CommandSink sink_;
  Rect desktop_{0, 0, 1920, 1080};
  int width_ = 320, height_ = 63;
  std::map<WindowId, Rect> rects_;
};

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_TESTING_RECORDING_FRONT_END_H_
