#ifndef ZARN_UPDATER_UI_CREATE_DIALOG_HOST_H_
#define ZARN_UPDATER_UI_CREATE_DIALOG_HOST_H_

#include <memory>

#include "updater/ui/dialog_host.h"

namespace zarn {
namespace ui {

// The host of the program, for the calling thread as its UI thread: a GTK window when
// DISPLAY or WAYLAND_DISPLAY is set and the display opens, the terminal otherwise.
std::unique_ptr<DialogHost> CreateDialogHost();

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_UI_CREATE_DIALOG_HOST_H_
