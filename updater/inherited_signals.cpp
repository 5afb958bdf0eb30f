#include "updater/inherited_signals.h"

#include <signal.h>

namespace zarn {

void ResetInheritedSignals() {
  signal(SIGCHLD, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

}  // namespace zarn
