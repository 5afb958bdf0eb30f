#include "updater/ui/create_dialog_host.h"

#include <unistd.h>

#include <cstdlib>

#include "updater/ui/gtk_front_end.h"
#include "updater/ui/queued_dialog_host.h"
#include "updater/ui/terminal_front_end.h"

namespace zarn {
namespace ui {

namespace {
bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}
}  // namespace

std::unique_ptr<DialogHost> CreateDialogHost() {
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) {
    if (std::unique_ptr<GtkFrontEnd> gtk = GtkFrontEnd::Open()) {
      return std::make_unique<QueuedDialogHost>(std::move(gtk));
    }
  }
  const bool interactive = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  return std::make_unique<QueuedDialogHost>(
      std::make_unique<TerminalFrontEnd>(STDOUT_FILENO, STDERR_FILENO, interactive));
}

}  // namespace ui
}  // namespace zarn
