#include "updater/updater_main.h"

#include <memory>
#include <new>

#include "storage/path_helpers.h"
#include "storage/posix_shared_file_factory.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_status.h"
#include "updater/boost_system_locale.h"
#include "updater/dialog.h"
#include "updater/dialog_messages.h"
#include "updater/embedded_message_catalog.h"
#include "updater/file_helpers.h"
#include "updater/module_resources.h"
#include "updater/transfer_monitor.h"
#include "updater/transfer_monitor_impl.h"
#include "updater/transfer_service.h"
#include "updater/transfer_service_api.h"
#include "updater/updater_settings.h"
#include "updater/windows_shortcut.h"

namespace zarn {

namespace {

// An existing folder is checked as closely as a new one: another local user may have made
// it first.
bool EnsureFolder(const std::string& path) { return CreateDirectories(path); }

// Runs from the creation of the folders to the end of the dialog.
void RunDialog(Updater::Dialog& dialog, TransferService& service, TransferMonitor& monitor,
               const SimpleLocale& locale, const UpdaterSettings& settings) {
  if (!EnsureFolder(settings.dataFolder) || !EnsureFolder(settings.skinPath)) {
    dialog.ShowError(
        locale.Translate(Updater::ErrorMessage(static_cast<uint8_t>(TransferError::FileAccess))));
    return;
  }
  const TransferStatus package =
      service.CreateTransfer(settings.packagePartnerId, settings.packageId, "?");
  const TransferStatus skin =
      service.CreateTransfer(settings.skinPartnerId, settings.skinFolder, settings.skinVersion);
  for (const TransferStatus* status : {&package, &skin}) {
    if (status->error != TransferError::None) {
      dialog.ShowError(
          locale.Translate(Updater::ErrorMessage(static_cast<uint8_t>(status->error))));
      return;
    }
  }
  dialog.set_packageTransferId(package.transferId);
  dialog.set_skinTransferId(skin.transferId);
  monitor.Watch(package.transferId, &dialog);
  monitor.Watch(skin.transferId, &dialog);
  dialog.Run();
}

// The dialog's out-of-memory message in a box of no window, as the dialog shows errors
// before its window exists. Best effort: a box that cannot be shown is not shown.
void ShowOutOfMemory(ui::DialogHost& host, const SimpleLocale& locale,
                     const UpdaterSettings& settings) {
  const auto error = static_cast<uint8_t>(TransferError::OutOfMemory);
  try {
    host.MessageBox(0, locale.Translate(Updater::ErrorMessage(error)),
                    locale.TranslateFormat(Updater::kErrorCaption, settings.gameName));
  } catch (...) {
  }
}

// The monitor's thread runs the dialog's callbacks, which use the locale, the catalog, the
// host and the service: on every way out it is stopped and joined before any of them goes.
class DialogTeardown {
 public:
  explicit DialogTeardown(TransferMonitor& monitor) : monitor_(monitor) {}
  ~DialogTeardown() {
    monitor_.Stop();
    Updater::Dialog::DestroySingleton();
  }
  DialogTeardown(const DialogTeardown&) = delete;
  DialogTeardown& operator=(const DialogTeardown&) = delete;

 private:
  TransferMonitor& monitor_;
};

// Everything from the engine to the end of the dialog.
void RunEngine(ui::DialogHost& host, const ModuleResources& module,
               const TransferServiceMaker& make_service, const TransferConfig& config,
               const SimpleLocale& locale, const UpdaterSettings& settings) {
  TransferService service(make_service(config));
  TransferMonitor monitor(std::make_unique<TransferMonitorImpl>(&service));
  monitor.Start();

  PosixSharedFileFactory files;
  WindowsShortcut shortcut(settings.downloaderPackage,
                           ResolvePath(settings.dataFolder, "shortcuts"), &files);
  shortcut.Create(settings.exePath);

  DialogTeardown teardown(monitor);
  Updater::Dialog& dialog =
      Updater::Dialog::CreateSingleton(host, module, service, monitor, locale, settings);
  RunDialog(dialog, service, monitor, locale, settings);
}

}  // namespace

int UpdaterMain(const std::vector<std::string>& arguments, ui::DialogHost& host,
                const ModuleResources& module, const TransferServiceMaker& make_service) {
  const UpdaterSettings settings(module, arguments);

  TransferConfig config;
  if (!settings.manifestHostOverride.empty()) config.manifestHost = settings.manifestHostOverride;
  config.logMask = static_cast<int32_t>(settings.log);
  config.engineThreads *= 2;

  // Made first, so that a failure to start the engine can still be told in the user's
  // language; and they outlive the monitor thread, whose dialog callbacks use them.
  EmbeddedMessageCatalog catalog(module, "updater");
  LanguageTable(&catalog);
  BoostSystemLocale locale(catalog);

  try {
    RunEngine(host, module, make_service, config, locale, settings);
  } catch (const std::bad_alloc&) {
    // Memory, or a thread of the engine or the monitor, could not be had: nothing can run.
    ShowOutOfMemory(host, locale, settings);
  }
  return 0;
}

}  // namespace zarn
