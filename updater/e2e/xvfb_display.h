#ifndef ZARN_UPDATER_E2E_XVFB_DISPLAY_H_
#define ZARN_UPDATER_E2E_XVFB_DISPLAY_H_

// Test support: an Xvfb server on a display it picks; DISPLAY is set while it runs.

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "testing/child_process.h"

namespace zarn {

class XvfbDisplay {
 public:
  XvfbDisplay() {
    if (!ProgramAvailable("/usr/bin/Xvfb")) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    ChildProcess::Options options;
    options.keepFd = fds[1];
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                 "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
        options);
    close(fds[1]);
    // Xvfb writes the display's number once it is ready; EOF when it fails. One that says
    // nothing within the time counts as failed.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    bool complete = false;
    char c;
    while (!complete && poll(&ready, 1, 30000) == 1 && read(fds[0], &c, 1) == 1) {
      complete = c == '\n';
      if (!complete) number += c;
    }
    close(fds[0]);
    if (!complete || number.empty()) {
      server_.reset();
      return;
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  ~XvfbDisplay() {
    server_.reset();
    unsetenv("DISPLAY");
  }
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  std::unique_ptr<ChildProcess> server_;
  std::string display_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_E2E_XVFB_DISPLAY_H_
