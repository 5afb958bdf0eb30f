#include "updater/ui/queued_dialog_host.h"

#include <utility>

namespace zarn {
namespace ui {

namespace {
constexpr std::chrono::milliseconds kIdleWait(100);
}  // namespace

struct QueuedDialogHost::Task {
  WindowId window;
  std::function<void()> function;
  bool done = false;
  bool ran = false;
};

QueuedDialogHost::QueuedDialogHost(std::unique_ptr<FrontEnd> front_end)
    : frontEnd_(std::move(front_end)), uiThread_(std::this_thread::get_id()) {
  frontEnd_->SetCommandSink(
      [this](WindowId window, uintptr_t command) { OnCommand(window, command); });
}

QueuedDialogHost::~QueuedDialogHost() {
  std::deque<std::shared_ptr<Task>> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loopFinished_ = true;
    left.swap(tasks_);
  }
  for (const auto& task : left) FinishTask(task, false);
}

std::size_t QueuedDialogHost::pending_tasks() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

bool QueuedDialogHost::IsAlive(WindowId window) {
  std::lock_guard<std::mutex> lock(mutex_);
  return window != 0 && window == window_;
}

intptr_t QueuedDialogHost::RunModal(const DialogTemplate& dialog, DialogProc proc) {
  WindowId window;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ || !OnUiThread()) return -1;
    running_ = true;
    ended_ = false;
    result_ = 0;
    window = window_ = ++lastWindow_;
  }
  proc_ = std::move(proc);
  frontEnd_->CreateWindow(window, dialog);
  proc_(window, kInitDialogMessage, 0, 0);
  for (;;) {
    std::shared_ptr<Task> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ended_) break;
      if (!tasks_.empty()) {
        task = tasks_.front();
        tasks_.pop_front();
      }
    }
    if (task) {
      RunTask(task);
    } else {
      frontEnd_->Wait(kIdleWait);
    }
  }
  intptr_t result;
  std::deque<std::shared_ptr<Task>> left;
  {
    // From here on every call on the window fails at once.
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = 0;
    result = result_;
  }
  proc_(window, kDestroyMessage, 0, 0);
  frontEnd_->DestroyWindow(window);
  proc_ = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    loopFinished_ = true;
    left.swap(tasks_);
  }
  for (const auto& task : left) FinishTask(task, false);
  return result;
}

bool QueuedDialogHost::EndDialog(WindowId window, intptr_t result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window == 0 || window != window_) return false;
    ended_ = true;
    result_ = result;
  }
  frontEnd_->Wake();
  return true;
}

bool QueuedDialogHost::Call(WindowId window, std::function<void()> function) {
  if (OnUiThread()) {
    if (window != 0 && !IsAlive(window)) return false;
    function();
    return true;
  }
  auto task = std::make_shared<Task>();
  task->window = window;
  task->function = std::move(function);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window != 0 ? window != window_ : loopFinished_) return false;
    tasks_.push_back(task);
  }
  frontEnd_->Wake();
  std::unique_lock<std::mutex> lock(mutex_);
  taskDone_.wait(lock, [&task] { return task->done; });
  return task->ran;
}

void QueuedDialogHost::RunTask(const std::shared_ptr<Task>& task) {
  if (task->window != 0 && !IsAlive(task->window)) {
    FinishTask(task, false);
    return;
  }
  bool ran = true;
  try {
    task->function();
  } catch (...) {
    ran = false;  // the caller waits for an answer, never for an exception
  }
  FinishTask(task, ran);
}

void QueuedDialogHost::FinishTask(const std::shared_ptr<Task>& task, bool ran) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task->done = true;
    task->ran = ran;
  }
  taskDone_.notify_all();
}

void QueuedDialogHost::OnCommand(WindowId window, uintptr_t command) {
  if (openBoxes_ > 0 || !IsAlive(window) || !proc_) return;
  proc_(window, kCommandMessage, command, 0);
}

bool QueuedDialogHost::SendMessage(WindowId window, uint32_t message, uintptr_t first,
                                   intptr_t second) {
  return Call(window, [this, window, message, first, second] {
    if (proc_) proc_(window, message, first, second);
  });
}

bool QueuedDialogHost::SetTitle(WindowId window, const std::string& text) {
  return Call(window, [this, window, text] { frontEnd_->SetTitle(window, text); });
}

bool QueuedDialogHost::SetItemText(WindowId window, int item, const std::string& text) {
  return Call(window, [this, window, item, text] { frontEnd_->SetItemText(window, item, text); });
}

bool QueuedDialogHost::SetProgress(WindowId window, int item, int position) {
  return Call(window,
              [this, window, item, position] { frontEnd_->SetProgress(window, item, position); });
}

bool QueuedDialogHost::SetMarquee(WindowId window, int item, bool on) {
  return Call(window, [this, window, item, on] { frontEnd_->SetMarquee(window, item, on); });
}

bool QueuedDialogHost::ShowItem(WindowId window, int item, bool visible) {
  return Call(window,
              [this, window, item, visible] { frontEnd_->ShowItem(window, item, visible); });
}

bool QueuedDialogHost::SetIcon(WindowId window, const char* const* xpm) {
  return Call(window, [this, window, xpm] { frontEnd_->SetIcon(window, xpm); });
}

bool QueuedDialogHost::GetWindowRect(WindowId window, Rect* rect) {
  Rect found;
  if (!Call(window, [this, window, &found] { found = frontEnd_->GetWindowRect(window); })) {
    return false;
  }
  *rect = found;
  return true;
}

Rect QueuedDialogHost::GetDesktopRect() {
  Rect found;
  Call(0, [this, &found] { found = frontEnd_->GetDesktopRect(); });
  return found;
}

bool QueuedDialogHost::MoveWindow(WindowId window, const Rect& rect) {
  return Call(window, [this, window, rect] { frontEnd_->MoveWindow(window, rect); });
}

void QueuedDialogHost::MessageBox(WindowId owner, const std::string& text,
                                  const std::string& caption) {
  Call(0, [this, owner, text, caption] {
    // A stale owner is no owner.
    WindowId live_owner = IsAlive(owner) ? owner : 0;
    ++openBoxes_;
    try {
      frontEnd_->ShowMessageBox(live_owner, text, caption);
    } catch (...) {
      --openBoxes_;
      throw;
    }
    --openBoxes_;
  });
}

}  // namespace ui
}  // namespace zarn
