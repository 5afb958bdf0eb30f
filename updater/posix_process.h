#ifndef ZARN_UPDATER_POSIX_PROCESS_H_
#define ZARN_UPDATER_POSIX_PROCESS_H_

#include <string>

#include "updater/simple_process.h"
#include "updater/ui/dialog_host.h"

namespace zarn {

// Starts a program with posix_spawn: argv[0] is the path, the other arguments are the
// parameter string split by the Windows rules; the child gets no descriptor but 0-2 and
// default signal handling. It runs with the updater's own rights (there is no elevation
// here). A child that is not waited for is reaped in the background, leaving no zombie.
class PosixProcess : public SimpleProcess {
 public:
  // `window` is the owner window (0 when none); it does not change how the child starts.
  PosixProcess(std::string path, ui::WindowId window)
      : SimpleProcess(std::move(path)), window_(window) {}

  bool Launch(bool wait, const std::string& parameters, const std::string& directory) override;

 private:
  ui::WindowId window_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_POSIX_PROCESS_H_
