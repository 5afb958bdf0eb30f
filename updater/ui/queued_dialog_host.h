#ifndef ZARN_UPDATER_UI_QUEUED_DIALOG_HOST_H_
#define ZARN_UPDATER_UI_QUEUED_DIALOG_HOST_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "updater/ui/dialog_host.h"
#include "updater/ui/front_end.h"

namespace zarn {
namespace ui {

// The dialog host over a FrontEnd. The UI thread is the thread that built the host (and
// that runs RunModal). Calls from other threads become tasks that the modal loop runs on
// the UI thread while the caller waits. A task for a window fails as soon as the window
// is gone; a message box from another thread waits for a modal loop, but fails at once
// once the last loop has ended, so that nothing waits for a loop that never comes.
class QueuedDialogHost : public DialogHost {
 public:
  explicit QueuedDialogHost(std::unique_ptr<FrontEnd> front_end);
  ~QueuedDialogHost() override;

  QueuedDialogHost(const QueuedDialogHost&) = delete;
  QueuedDialogHost& operator=(const QueuedDialogHost&) = delete;

  intptr_t RunModal(const DialogTemplate& dialog, DialogProc proc) override;
  bool EndDialog(WindowId window, intptr_t result) override;
  bool SendMessage(WindowId window, uint32_t message, uintptr_t first, intptr_t second) override;
  bool SetTitle(WindowId window, const std::string& text) override;
  bool SetItemText(WindowId window, int item, const std::string& text) override;
  bool SetProgress(WindowId window, int item, int position) override;
  bool SetMarquee(WindowId window, int item, bool on) override;
  bool ShowItem(WindowId window, int item, bool visible) override;
  bool SetIcon(WindowId window, const char* const* xpm) override;
  bool GetWindowRect(WindowId window, Rect* rect) override;
  Rect GetDesktopRect() override;
  bool MoveWindow(WindowId window, const Rect& rect) override;
  void MessageBox(WindowId owner, const std::string& text, const std::string& caption) override;

  FrontEnd& front_end() { return *frontEnd_; }
  // Calls from other threads waiting for the UI thread to take them up.
  std::size_t pending_tasks();

 private:
  struct Task;

  bool OnUiThread() const { return std::this_thread::get_id() == uiThread_; }
  bool IsAlive(WindowId window);
  // Runs `function` on the UI thread, for `window` while it lives (0: any window or
  // none); false when it could not run.
  bool Call(WindowId window, std::function<void()> function);
  void RunTask(const std::shared_ptr<Task>& task);
  void FinishTask(const std::shared_ptr<Task>& task, bool ran);
  void OnCommand(WindowId window, uintptr_t command);

  std::unique_ptr<FrontEnd> frontEnd_;
  const std::thread::id uiThread_;

  std::mutex mutex_;
  std::condition_variable taskDone_;
  std::deque<std::shared_ptr<Task>> tasks_;
  WindowId lastWindow_ = 0;
  WindowId window_ = 0;  // the live window, 0 when none
  bool running_ = false;
  bool ended_ = false;
  bool loopFinished_ = false;
  intptr_t result_ = 0;

  // UI thread only.
  DialogProc proc_;
  int openBoxes_ = 0;
};

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_UI_QUEUED_DIALOG_HOST_H_
