#ifndef ZARN_UPDATER_UPDATER_MAIN_H_
#define ZARN_UPDATER_UPDATER_MAIN_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarn {

class ModuleResources;
class TransferServiceApi;
struct TransferConfig;

namespace ui {
class DialogHost;
}

using TransferServiceMaker =
    std::function<std::unique_ptr<TransferServiceApi>(const TransferConfig& config)>;

// The whole program on the calling (main) thread: reads the settings from `module` and
// `arguments`, builds the engine through `make_service`, the monitor, the catalog and
// locale (from the environment), the shortcut and the dialog on `host`, creates the
// download folders and both transfers and runs the dialog until it ends. Returns the exit
// code, always 0.
int UpdaterMain(const std::vector<std::string>& arguments, ui::DialogHost& host,
                const ModuleResources& module, const TransferServiceMaker& make_service);

}  // namespace zarn

#endif  // ZARN_UPDATER_UPDATER_MAIN_H_
