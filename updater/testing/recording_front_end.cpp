#include "updater/testing/recording_front_end.h"

#include <algorithm>
#include <utility>

namespace zarn {
namespace ui {

namespace {
RecordingFrontEnd::Event MakeEvent(const char* what, WindowId window, int item = 0,
                                   std::string text = "", int value = 0) {
  RecordingFrontEnd::Event event;
  event.what = what;
  event.window = window;
  event.item = item;
  event.text = std::move(text);
  event.value = value;
  return event;
}
}  // namespace

RecordingFrontEnd::RecordingFrontEnd() = default;

void RecordingFrontEnd::Record(Event event) {
  event.thread = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Predicate& predicate : closeWhen_) {
    if (predicate(event)) closeRequested_ = true;
  }
  events_.push_back(std::move(event));
  changed_.notify_all();
}

std::vector<RecordingFrontEnd::Event> RecordingFrontEnd::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

bool RecordingFrontEnd::WaitForEvent(const Predicate& predicate,
                                     std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout,
                           [&] { return std::any_of(events_.begin(), events_.end(), predicate); });
}

bool RecordingFrontEnd::WaitForEvents(const Predicate& predicate, std::size_t count,
                                      std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(), predicate)) >=
           count;
  });
}

void RecordingFrontEnd::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closeRequested_ = true;
  changed_.notify_all();
}

void RecordingFrontEnd::CloseWhen(Predicate predicate) {
  std::lock_guard<std::mutex> lock(mutex_);
  closeWhen_.push_back(std::move(predicate));
}

void RecordingFrontEnd::HoldBoxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  holdBoxes_ = true;
}

void RecordingFrontEnd::ReleaseBoxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  holdBoxes_ = false;
  ++releaseGeneration_;
  changed_.notify_all();
}

void RecordingFrontEnd::CreateWindow(WindowId window, const DialogTemplate&) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
    rects_[window] = Rect{0, 0, width_, height_};
  }
  Record(MakeEvent("create", window));
}

void RecordingFrontEnd::DestroyWindow(WindowId window) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window_ == window) window_ = 0;
  }
  Record(MakeEvent("destroy", window));
}

void RecordingFrontEnd::SetTitle(WindowId window, const std::string& text) {
  Record(MakeEvent("title", window, 0, text));
}

void RecordingFrontEnd::SetItemText(WindowId window, int item, const std::string& text) {
  Record(MakeEvent("text", window, item, text));
}

void RecordingFrontEnd::SetProgress(WindowId window, int item, int position) {
  Record(MakeEvent("progress", window, item, "", position));
}

void RecordingFrontEnd::SetMarquee(WindowId window, int item, bool on) {
  Record(MakeEvent("marquee", window, item, "", on));
}

void RecordingFrontEnd::ShowItem(WindowId window, int item, bool visible) {
  Record(MakeEvent("show", window, item, "", visible));
}

void RecordingFrontEnd::SetIcon(WindowId window, const char* const*) {
  Record(MakeEvent("icon", window));
}

Rect RecordingFrontEnd::GetWindowRect(WindowId window) {
  std::lock_guard<std::mutex> lock(mutex_);
  return rects_[window];
}

void RecordingFrontEnd::MoveWindow(WindowId window, const Rect& rect) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    rects_[window] = rect;
  }
  Event event = MakeEvent("move", window);
  event.rect = rect;
  Record(event);
}

void RecordingFrontEnd::ShowMessageBox(WindowId owner, const std::string& text,
                                       const std::string& caption) {
  Event event = MakeEvent("box", owner, 0, text);
  event.caption = caption;
  Record(event);
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t generation = releaseGeneration_;
  for (;;) {
    changed_.wait(lock, [&] {
      return !holdBoxes_ || releaseGeneration_ != generation || (closeRequested_ && window_ != 0);
    });
    if (!holdBoxes_ || releaseGeneration_ != generation) return;
    // The user clicks the window's close button while the box is open.
    closeRequested_ = false;
    const WindowId window = window_;
    lock.unlock();
    Deliver(window);
    lock.lock();
  }
}

void RecordingFrontEnd::Deliver(WindowId window) {
  Record(MakeEvent("close", window));
  if (sink_) sink_(window, kCancelCommand);
}

void RecordingFrontEnd::Wait(std::chrono::milliseconds timeout) {
  WindowId to_close = 0;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return woken_ || closeRequested_; });
    woken_ = false;
    if (closeRequested_ && window_ != 0) {
      closeRequested_ = false;
      to_close = window_;
    }
  }
  if (to_close != 0) Deliver(to_close);
}

void RecordingFrontEnd::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = true;
  changed_.notify_all();
}

}  // namespace ui
}  // namespace zarn
