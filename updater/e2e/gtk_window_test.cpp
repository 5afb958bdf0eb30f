// The GTK front end under Xvfb: the window of the dialog template, and a whole run of the
// program in it. Screenshots are kept in the build's artefacts folder.

#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "updater/e2e/deadline.h"
#include "updater/e2e/e2e_fixture.h"
#include "updater/e2e/xvfb_display.h"
#include "updater/transfer_service_impl.h"
#include "updater/ui/create_dialog_host.h"
#include "updater/ui/gtk_front_end.h"
#include "updater/ui/queued_dialog_host.h"
#include "updater/updater_main.h"

// GTK keeps process-wide caches for the life of the process (its accessibility bridge
// keeps a D-Bus connection as well).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3\nleak:libgdk-3\nleak:libglib-2.0\nleak:libgobject-2.0\n"
         "leak:libfontconfig\nleak:libpango\nleak:libcairo\nleak:libX11\nleak:libdbus-1\n"
         "leak:libatk\nleak:libgio-2.0\n";
}

// GTK, GLib, fontconfig and pango run threads of their own that ThreadSanitizer cannot
// follow (they are not instrumented).
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig\nrace:libpango\nrace:libgtk-3\nrace:libgdk-3\n"
         "race:libglib-2.0\nrace:libgobject-2.0\nrace:libgio-2.0\nrace:libcairo\n"
         "race:libharfbuzz\nrace:libX11\nrace:libxcb\nrace:libatk\nrace:libdbus-1\n"
         "race:libgdk_pixbuf\nrace:libepoxy\n";
}

namespace zarn {
namespace {

constexpr uint32_t kCheck = 0x0401;

XvfbDisplay& SharedDisplay() {
  static XvfbDisplay display;
  return display;
}

std::string Artefact(const std::string& name) {
  std::filesystem::create_directories(ZARN_ARTEFACT_DIR);
  return std::string(ZARN_ARTEFACT_DIR) + "/" + name;
}

bool Screenshot(const std::string& path) {
  const std::string command =
      "import -display " + SharedDisplay().display() + " -window root '" + path + "' 2>/dev/null";
  return std::system(command.c_str()) == 0 && std::filesystem::file_size(path) > 0;
}

TEST(GtkWindowTest, ShowsTheTitleAndTheProgressBar) {
  Deadline deadline(std::chrono::seconds(120));
  if (!SharedDisplay().ok()) GTEST_SKIP() << "Xvfb is not available";
  std::unique_ptr<ui::GtkFrontEnd> gtk = ui::GtkFrontEnd::Open();
  ASSERT_NE(gtk, nullptr);
  ui::GtkFrontEnd* front = gtk.get();
  ui::QueuedDialogHost host(std::move(gtk));

  std::thread user;
  std::atomic<bool> mapped{false};
  std::string title, label;
  double fraction = -1;
  bool bar_visible = false, marquee_visible = true;
  host.RunModal(ProgressDialogTemplate(), [&](ui::WindowId window, uint32_t message,
                                              uintptr_t first, intptr_t) {
    if (message == ui::kInitDialogMessage) {
      host.SetTitle(window, "Orvask Downloader");
      host.SetProgress(window, kProgressBarId, 40);
      host.SetItemText(window, kProgressTextId, "2 minutes remaining");
      host.SetIcon(window, ProgramIcon());
      user = std::thread([&host, &mapped, window] {
        // Let the window map and draw: each message is one more turn of the loop.
        for (int i = 0; i < 3000 && !mapped; ++i) {
          host.SendMessage(window, kCheck, 0, 0);
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (int i = 0; i < 20; ++i) {
          host.SendMessage(window, kCheck, 0, 0);
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(Screenshot(Artefact("updater_gtk_progress.png")));
        host.SendMessage(window, kCheck, 1, 0);
      });
    }
    if (message == kCheck) {
      GtkWidget* widget = front->WindowWidget(window);
      mapped = widget != nullptr && gtk_widget_get_mapped(widget);
      while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
      title = gtk_window_get_title(GTK_WINDOW(widget));
      fraction = gtk_progress_bar_get_fraction(
          GTK_PROGRESS_BAR(front->ItemWidget(window, kProgressBarId)));
      label = gtk_label_get_text(GTK_LABEL(front->ItemWidget(window, kProgressTextId)));
      bar_visible = gtk_widget_get_visible(front->ItemWidget(window, kProgressBarId));
      marquee_visible = gtk_widget_get_visible(front->ItemWidget(window, kMarqueeBarId));
    }
    if (message == kCheck && first == 1) host.EndDialog(window, 0);
    return true;
  });
  user.join();
  EXPECT_TRUE(mapped);
  EXPECT_EQ(title, "Orvask Downloader");
  EXPECT_DOUBLE_EQ(fraction, 0.4);
  EXPECT_EQ(label, "2 minutes remaining");
  EXPECT_TRUE(bar_visible);
  EXPECT_FALSE(marquee_visible);
}

class GtkRunTest : public UpdaterRunTest {};

TEST_F(GtkRunTest, RunsTheWholeProgramInAWindow) {
  if (!SharedDisplay().ok()) GTEST_SKIP() << "Xvfb is not available";
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer nginx(folder_ / "www", ServerOptions());
  // While it runs, the downloader lists the windows and takes a picture of the screen.
  MakePackages({nginx.Host(1), nginx.Host(2), nginx.Host(3)},
               "xwininfo -display " + SharedDisplay().display() +
                   " -root -tree > \"$m/windows\"\n"
                   "import -display " +
                   SharedDisplay().display() + " -window root '" +
                   Artefact("updater_gtk_launching.png") + "' 2>/dev/null\n");
  std::unique_ptr<ui::DialogHost> host = ui::CreateDialogHost();
  ASSERT_EQ(
      UpdaterMain({folder_ / "bin/updater"}, *host, Module(nginx.Host(0)), MakeTransferService), 0);
  EXPECT_NE(folder_.ReadFile("markers/windows").find("\"Orvask Downloader\""), std::string::npos)
      << folder_.ReadFile("markers/windows");
  EXPECT_TRUE(std::filesystem::exists(Artefact("updater_gtk_launching.png")));
  EXPECT_NE(folder_.ReadFile("markers/argv").find("/package\n"), std::string::npos);
}

}  // namespace
}  // namespace zarn
