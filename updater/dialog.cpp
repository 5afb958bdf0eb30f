#include "updater/dialog.h"

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "storage/path_helpers.h"
#include "updater/dialog_messages.h"
#include "updater/file_helpers.h"
#include "updater/module_resources.h"
#include "updater/posix_process.h"
#include "updater/simple_locale.h"
#include "updater/transfer_monitor.h"
#include "updater/transfer_service.h"
#include "updater/windows_command_line.h"

namespace zarn {
namespace Updater {

namespace {

std::unique_ptr<Dialog>& Singleton() {
  static std::unique_ptr<Dialog> dialog;
  return dialog;
}

// Whether `path`, resolved lexically, lies below `folder`.
bool IsBelow(const std::string& folder, const std::string& path) {
  namespace fs = std::filesystem;
  const std::string base = fs::u8path(folder).lexically_normal().u8string();
  const std::string full = fs::u8path(path).lexically_normal().u8string();
  const std::string prefix = !base.empty() && base.back() == '/' ? base : base + "/";
  return full.size() > prefix.size() && full.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

Dialog& Dialog::CreateSingleton(ui::DialogHost& host, const ModuleResources& module,
                                TransferService& service, TransferMonitor& monitor,
                                const SimpleLocale& locale, const UpdaterSettings& settings) {
  if (Singleton()) throw std::logic_error("Dialog::CreateSingleton called multiple times");
  Singleton().reset(new Dialog(host, module, service, monitor, locale, settings));
  return *Singleton();
}

Dialog& Dialog::GetSingleton() {
  if (!Singleton()) {
    throw std::logic_error("Dialog::GetSingleton called without CreateSingleton");
  }
  return *Singleton();
}

void Dialog::DestroySingleton() { Singleton().reset(); }

Dialog::Dialog(ui::DialogHost& host, const ModuleResources& module, TransferService& service,
               TransferMonitor& monitor, const SimpleLocale& locale,
               const UpdaterSettings& settings)
    : host_(host),
      module_(module),
      service_(service),
      monitor_(monitor),
      locale_(locale),
      settings_(settings) {}

Dialog::~Dialog() { Close(); }

void Dialog::Run() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (running_) return;
    running_ = true;
  }
  const DialogTemplate* dialog = module_.FindDialog(kProgressDialogId);
  if (dialog != nullptr) {
    host_.RunModal(*dialog,
                   [](ui::WindowId window, uint32_t message, uintptr_t first, intptr_t second) {
                     return GetSingleton().DialogProc(window, message, first, second);
                   });
  }
  std::lock_guard<std::mutex> lock(lock_);
  ended_ = true;
  window_ = 0;
}

void Dialog::Close() {
  ui::WindowId window;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (!running_ || window_ == 0) return;
    window = window_;
    window_ = 0;
  }
  host_.SendMessage(window, ui::kCommandMessage, ui::kCancelCommand, 0);
}

void Dialog::AttachWindow(ui::WindowId window) {
  std::lock_guard<std::mutex> lock(lock_);
  if (window_ == 0 && !ended_) window_ = window;
}

ui::WindowId Dialog::LiveWindow() {
  std::lock_guard<std::mutex> lock(lock_);
  return ended_ ? 0 : window_;
}

bool Dialog::Ended() {
  std::lock_guard<std::mutex> lock(lock_);
  return ended_;
}

bool Dialog::DialogProc(ui::WindowId window, uint32_t message, uintptr_t first, intptr_t) {
  if (message == ui::kDestroyMessage) {
    std::lock_guard<std::mutex> lock(lock_);
    ended_ = true;
    window_ = 0;
    return true;
  }
  AttachWindow(window);
  if (message == ui::kInitDialogMessage) {
    OnInitDialog(window);
    return true;
  }
  if (message == ui::kCommandMessage && (first == ui::kOkCommand || first == ui::kCancelCommand)) {
    {
      std::lock_guard<std::mutex> lock(lock_);
      ended_ = true;
      window_ = 0;
    }
    host_.EndDialog(window, 0);
    return true;
  }
  return false;
}

void Dialog::OnInitDialog(ui::WindowId window) {
  host_.SetTitle(window, locale_.TranslateFormat(kWindowTitle, settings_.gameName));
  host_.SetItemText(window, kProgressTextId, locale_.FormatTimeRemaining(-1));
  if (const char* const* icon = module_.FindIcon(kProgramIconId)) host_.SetIcon(window, icon);
  ui::Rect rect;
  if (host_.GetWindowRect(window, &rect)) {
    const ui::Rect desktop = host_.GetDesktopRect();
    const int x = (desktop.Width() - rect.Width()) / 2;
    const int y = (desktop.Height() - rect.Height()) / 2;
    host_.MoveWindow(window, ui::Rect{x, y, x + rect.Width(), y + rect.Height()});
  }
}

void Dialog::ShowError(const std::string& text) {
  ui::WindowId owner;
  {
    std::lock_guard<std::mutex> lock(lock_);
    // Once the user has ended the dialog there is no one left to tell.
    if (ended_) return;
    owner = window_;
  }
  host_.MessageBox(owner, text, locale_.TranslateFormat(kErrorCaption, settings_.gameName));
  Close();
}

void Dialog::ShowTranslatedError(const std::string& messageId) {
  ShowError(locale_.Translate(messageId));
}

void Dialog::OnProgress(const TransferStatus& status) {
  ui::WindowId window;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (!running_ || ended_ || window_ == 0 || status.transferId != packageTransferId_ ||
        status.state != TransferState::Transferring || status.error != TransferError::None) {
      return;
    }
    window = window_;
  }
  int32_t position = 0;
  if (status.totalBytes != 0) {
    position = static_cast<int32_t>(static_cast<double>(status.completedBytes) * 100 /
                                    static_cast<double>(status.totalBytes));
  }
  host_.SetProgress(window, kProgressBarId, position);
  host_.SetItemText(window, kProgressTextId, locale_.FormatTimeRemaining(status.secondsRemaining));
}

void Dialog::OnInitialized(const TransferStatus& status) {
  const std::string& folder =
      status.transferId == skinTransferId_ ? settings_.skinPath : settings_.dataFolder;
  service_.StartTransfer(status.transferId, folder);
  monitor_.Watch(status.transferId, this);
}

void Dialog::OnRetryableError(const TransferStatus& status) { OnEnd(status); }

void Dialog::OnEnd(const TransferStatus& status) {
  if (status.transferId == packageTransferId_) {
    OnTransferEnd(status, packageDone_, packageFileName_);
  }
  if (status.transferId == skinTransferId_) OnTransferEnd(status, skinDone_, skinFileName_);
  if (!packageDone_ || !skinDone_) return;
  if (Ended()) return;  // the user closed the dialog: nothing is launched
  if (LaunchDownloader()) {
    Close();
  } else {
    ShowError(locale_.TranslateFormat(LaunchFailedMessage(), settings_.gameName));
  }
}

void Dialog::OnTransferEnd(const TransferStatus& status, bool& done, std::string& runFile) {
  if (status.error != TransferError::None) {
    ShowError(locale_.Translate(ErrorMessage(static_cast<uint8_t>(status.error))));
  } else if (status.state == TransferState::Completed) {
    done = true;
    std::lock_guard<std::mutex> lock(lock_);
    runFile = status.runFile;
  }
}

bool Dialog::LaunchDownloader() {
  try {
    const ui::WindowId window = LiveWindow();
    host_.ShowItem(window, kProgressBarId, false);
    host_.SetMarquee(window, kMarqueeBarId, true);
    host_.ShowItem(window, kMarqueeBarId, true);
    host_.SetItemText(window, kProgressTextId,
                      locale_.TranslateFormat(kLaunchingText, settings_.gameName));
    std::string fileName;
    {
      std::lock_guard<std::mutex> lock(lock_);
      fileName = packageFileName_;
    }
    // A package without a run file has nothing to start, and a run file must be a regular
    // file in the data folder: the folder itself, a path leaving it and a link are never
    // started.
    if (fileName.empty()) return false;
    const std::string path = ResolvePath(settings_.dataFolder, fileName);
    if (!IsBelow(settings_.dataFolder, path)) return false;
    if (!IsPlainFileIn(settings_.dataFolder, fileName)) return false;
    PosixProcess process(path, window);
    return process.Launch(true, BuildDownloaderCommandLine(), "");
  } catch (...) {
    return false;
  }
}

std::string Dialog::BuildDownloaderCommandLine() const {
  const UpdaterSettings& s = settings_;
  std::string line;
  auto add = [&line](const char* name, const std::string& value) {
    line += name;
    line += QuoteArgument(value);
  };
  if (!s.manifestHostOverride.empty()) add(" /host ", s.manifestHostOverride);
  if (!s.skinPartnerId.empty()) add(" /id ", s.skinPartnerId);
  add(" /package ", s.downloaderPackage);
  add(" /name ", s.gameName);
  add(" /folder ", s.gameFolder);
  if (s.packageVersion != "?") add(" /version ", s.packageVersion);
  std::string skinFile;
  {
    std::lock_guard<std::mutex> lock(lock_);
    skinFile = skinFileName_;
  }
  if (!skinFile.empty()) add(" /skin ", JoinPath(s.skinFolder, skinFile));
  if (s.log != kDefaultLogMask) add(" /log ", std::to_string(s.log));
  return line;
}

}  // namespace Updater
}  // namespace zarn
