#ifndef ZARN_UPDATER_DIALOG_H_
#define ZARN_UPDATER_DIALOG_H_

#include <cstdint>
#include <mutex>
#include <string>

#include "updater/transfer_monitor_callback.h"
#include "updater/ui/dialog_host.h"
#include "updater/updater_settings.h"

namespace zarn {

class ModuleResources;
class SimpleLocale;
class TransferMonitor;
class TransferService;

namespace Updater {

// The progress dialog: the program's only window and the monitor's only callback. It shows
// the downloader package's progress and time remaining, starts each transfer into its
// folder once initialized, reports a transfer error in a box, and when both transfers
// have completed launches the downloader, waits for it and closes. The window lives on the
// main thread; the callbacks run on the monitor's thread. The lock guards running, ended,
// window and the two run files' names, and is never held across a call into the host.
//
// Once the dialog has ended (closed by the user or by Close) it forgets its window and
// acts no more: no progress, no box, no launch.
class Dialog : public TransferMonitorCallback {
 public:
  // Makes the process's dialog; throws std::logic_error when one exists. Every argument
  // must outlive the dialog's use; the settings are copied.
  static Dialog& CreateSingleton(ui::DialogHost& host, const ModuleResources& module,
                                 TransferService& service, TransferMonitor& monitor,
                                 const SimpleLocale& locale, const UpdaterSettings& settings);
  // Throws std::logic_error before CreateSingleton.
  static Dialog& GetSingleton();
  // Deletes the dialog (after the monitor has stopped), so that nothing outlives what it
  // refers to; a later CreateSingleton may make another.
  static void DestroySingleton();

  ~Dialog() override;

  // The modal loop, on the main thread; returns when the dialog has ended. Once only.
  void Run();
  // Ends the dialog if it is showing. Any thread.
  void Close();
  // A box with `text`, then Close. Any thread.
  void ShowError(const std::string& text);
  void ShowTranslatedError(const std::string& messageId);
  // The window procedure; main thread.
  bool DialogProc(ui::WindowId window, uint32_t message, uintptr_t first, intptr_t second);

  void OnProgress(const TransferStatus& status) override;
  void OnInitialized(const TransferStatus& status) override;
  void OnRetryableError(const TransferStatus& status) override;
  void OnEnd(const TransferStatus& status) override;

  // The downloader's parameters: " /host ", " /id ", " /package ", " /name ", " /folder ",
  // " /version ", " /skin ", " /log ", each value quoted by the Windows rules, some only
  // when set.
  std::string BuildDownloaderCommandLine() const;

  void set_packageTransferId(const std::string& id) { packageTransferId_ = id; }
  void set_skinTransferId(const std::string& id) { skinTransferId_ = id; }

 private:
  Dialog(ui::DialogHost& host, const ModuleResources& module, TransferService& service,
         TransferMonitor& monitor, const SimpleLocale& locale, const UpdaterSettings& settings);

  void AttachWindow(ui::WindowId window);
  // The held window, 0 once the dialog has ended.
  ui::WindowId LiveWindow();
  bool Ended();
  void OnInitDialog(ui::WindowId window);
  // One transfer's end: the error it ended with shown, or `done` set and its run file kept
  // in `runFile`.
  void OnTransferEnd(const TransferStatus& status, bool& done, std::string& runFile);
  bool LaunchDownloader();

  mutable std::mutex lock_;
  ui::DialogHost& host_;
  const ModuleResources& module_;
  TransferService& service_;
  TransferMonitor& monitor_;
  const SimpleLocale& locale_;
  const UpdaterSettings settings_;
  bool running_ = false;
  bool ended_ = false;
  ui::WindowId window_ = 0;
  std::string packageFileName_;
  std::string skinFileName_;
  std::string packageTransferId_;
  std::string skinTransferId_;
  // Monitor thread only.
  bool packageDone_ = false;
  bool skinDone_ = false;
};

}  // namespace Updater
}  // namespace zarn

#endif  // ZARN_UPDATER_DIALOG_H_
