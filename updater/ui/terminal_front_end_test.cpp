#include "updater/ui/terminal_front_end.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "updater/module_resources.h"
#include "updater/ui/queued_dialog_host.h"

namespace zarn {
namespace ui {
namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

TEST(TerminalFrontEndTest, PrintsTheDialogAndClosesOnTermination) {
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  int commands = 0;
  {
    QueuedDialogHost host(std::make_unique<TerminalFrontEnd>(out[1], err[1], false));
    host.RunModal(ProgressDialogTemplate(),
                  [&](WindowId window, uint32_t message, uintptr_t first, intptr_t) {
                    if (message == kInitDialogMessage) {
                      host.SetTitle(window, "Orvask Downloader");
                      host.SetProgress(window, kProgressBarId, 50);
                      host.SetItemText(window, kProgressTextId, "2 minutes remaining");
                      host.MessageBox(window, "Something failed.", "Orvask Downloader Error");
                      // A terminating signal while the window is open closes it like the close
                      // button.
                      raise(SIGTERM);
                    }
                    if (message == kCommandMessage && first == kCancelCommand) {
                      ++commands;
                      host.EndDialog(window, 0);
                    }
                    return true;
                  });
  }
  close(out[1]);
  close(err[1]);
  EXPECT_EQ(commands, 1);
  EXPECT_EQ(ReadAll(out[0]),
            "Orvask Downloader\n"
            "[                              ]   0%  Calculating time remaining\n"
            "[###############               ]  50%  2 minutes remaining\n");
  EXPECT_EQ(ReadAll(err[0]), "Orvask Downloader Error: Something failed.\n");
  close(out[0]);
  close(err[0]);
}

}  // namespace
}  // namespace ui
}  // namespace zarn
