// The updater's entry point: the dialog on the display or the terminal, the engine over
// the network.
#include <signal.h>

#include <string>
#include <vector>

#include "updater/inherited_signals.h"
#include "updater/module_resources.h"
#include "updater/standard_streams.h"
#include "updater/transfer_service_impl.h"
#include "updater/ui/create_dialog_host.h"
#include "updater/updater_main.h"

int main(int argc, char** argv) {
  if (!zarn::OpenClosedStandardStreams()) return 1;
  zarn::ResetInheritedSignals();
  // A peer closing a socket, or a file reaching the size limit, must fail the one call.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> arguments(argv, argv + argc);
  std::unique_ptr<zarn::ui::DialogHost> host = zarn::ui::CreateDialogHost();
  return zarn::UpdaterMain(arguments, *host, zarn::ModuleResources::Embedded(),
                           zarn::MakeTransferService);
}
