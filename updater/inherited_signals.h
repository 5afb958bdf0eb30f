#ifndef ZARN_UPDATER_INHERITED_SIGNALS_H_
#define ZARN_UPDATER_INHERITED_SIGNALS_H_

namespace zarn {

// Undoes the signal settings a launcher may leave to the program. SIGCHLD ignored makes the
// kernel reap every child at once, so the wait for the launched downloader fails: it goes
// back to the default. No signal stays blocked: every thread inherits the mask, and a
// blocked SIGINT or SIGTERM would never close the dialog, while a blocked SIGBUS or SIGSEGV
// kills the process where the fault guard should report a file error. Call it first thing
// in main, before any thread starts.
void ResetInheritedSignals();

}  // namespace zarn

#endif  // ZARN_UPDATER_INHERITED_SIGNALS_H_
