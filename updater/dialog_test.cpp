#include "updater/dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "storage/testing/test_folder.h"
#include "updater/boost_system_locale.h"
#include "updater/dialog_messages.h"
#include "updater/embedded_message_catalog.h"
#include "updater/module_resources.h"
#include "updater/testing/fake_transfer_service.h"
#include "updater/testing/recording_front_end.h"
#include "updater/transfer_monitor.h"
#include "updater/transfer_monitor_impl.h"
#include "updater/transfer_service.h"
#include "updater/ui/queued_dialog_host.h"

namespace zarn {
namespace Updater {
namespace {

using namespace std::chrono_literals;
using Event = ui::RecordingFrontEnd::Event;
using State = TransferState;

// A downloader that logs each start (its folder and arguments) to <markers>/log, and waits
// for <markers>/go when <markers>/wait exists.
std::string Downloader(const std::string& markers) {
  return "#!/bin/sh\n"
         "m='" +
         markers +
         "'\n"
         "{ echo start; pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } >> \"$m/log\"\n"
         "if [ -e \"$m/wait\" ]; then\n"
         "  touch \"$m/running\"\n"
         "  while [ ! -e \"$m/go\" ]; do sleep 0.01; done\n"
         "fi\n";
}

std::function<bool(const Event&)> Is(const std::string& what, const std::string& text = "") {
  return
      [what, text](const Event& e) { return e.what == what && (text.empty() || e.text == text); };
}

class DialogTest : public testing::Test {
 protected:
  DialogTest() : catalog_(ModuleResources::Embedded(), "updater") {
    LanguageTable(&catalog_);
    locale_ = std::make_unique<BoostSystemLocale>(catalog_, "en_US.UTF-8");
    auto fake = std::make_unique<FakeTransferService>();
    fake_ = fake.get();
    service_ = std::make_unique<TransferService>(std::move(fake));
    monitor_ = std::make_unique<TransferMonitor>(
        std::make_unique<TransferMonitorImpl>(service_.get(), 20));
    FreshHost();

    settings_.exePath = "/opt/updater";
    settings_.packagePartnerId = "partner";
    settings_.skinPartnerId = "skinpartner";
    settings_.gameName = "Orvask";
    settings_.gameFolder = "OrvaskDir";
    settings_.packageId = "pkg";
    settings_.dataFolder = folder_ / "data";
    settings_.skinFolder = "skinpkg";
    settings_.skinPath = folder_ / "data/skinpkg";
    settings_.downloaderPackage = "downloader";
    std::filesystem::create_directories(settings_.skinPath);
  }
  ~DialogTest() override {
    monitor_.reset();
    Dialog::DestroySingleton();
  }

  // A host that has not run a loop yet: once its loop has ended, a host serves no calls
  // from other threads, the message boxes of a second dialog included.
  void FreshHost() {
    auto front = std::make_unique<ui::RecordingFrontEnd>();
    front_ = front.get();
    host_ = std::make_unique<ui::QueuedDialogHost>(std::move(front));
  }

  Dialog& MakeDialog() {
    Dialog& dialog = Dialog::CreateSingleton(*host_, ModuleResources::Embedded(), *service_,
                                             *monitor_, *locale_, settings_);
    dialog.set_packageTransferId("p");
    dialog.set_skinTransferId("s");
    return dialog;
  }

  // Runs the dialog on this thread while `monitor` plays the monitor thread.
  void RunWith(Dialog& dialog, std::function<void()> monitor) {
    const std::size_t windows = EventsAfterCreate("move").size() + 1;
    std::thread thread([&] {
      // This dialog's window is up once its centring move is recorded.
      ASSERT_TRUE(front_->WaitForEvents(Is("move"), windows));
      monitor();
    });
    dialog.Run();
    thread.join();
  }

  static TransferStatus Completed(const std::string& id, const std::string& runFile) {
    TransferStatus status = FakeTransferService::Status(id, State::Completed);
    status.runFile = runFile;
    return status;
  }

  static TransferStatus Transferring(const std::string& id, uint64_t completed, uint64_t total,
                                     int32_t seconds) {
    TransferStatus status = FakeTransferService::Status(id, State::Transferring);
    status.completedBytes = completed;
    status.totalBytes = total;
    status.secondsRemaining = seconds;
    return status;
  }

  void InstallDownloader(const std::string& name) {
    const std::string path = settings_.dataFolder + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << Downloader(folder_.path());
    chmod(path.c_str(), 0700);
  }

  std::vector<Event> EventsAfterCreate(const std::string& what) {
    std::vector<Event> found;
    for (const Event& e : front_->Events()) {
      if (e.what == what) found.push_back(e);
    }
    return found;
  }

  TestFolder folder_;
  EmbeddedMessageCatalog catalog_;
  std::unique_ptr<BoostSystemLocale> locale_;
  FakeTransferService* fake_;
  std::unique_ptr<TransferService> service_;
  std::unique_ptr<TransferMonitor> monitor_;
  ui::RecordingFrontEnd* front_;
  std::unique_ptr<ui::QueuedDialogHost> host_;
  UpdaterSettings settings_;
};

TEST_F(DialogTest, ShowsTitleProgressAndTimeOfThePackageOnly) {
  Dialog& dialog = MakeDialog();
  RunWith(dialog, [&] {
    dialog.OnProgress(Transferring("p", 50, 200, 45));
    dialog.OnProgress(Transferring("s", 150, 200, 3600));  // the skin moves nothing
    dialog.OnProgress(Transferring("p", 0, 0, -1));
    TransferStatus failed = Transferring("p", 100, 200, 10);
    failed.error = TransferError::Network;
    dialog.OnProgress(failed);
    TransferStatus paused = Transferring("p", 100, 200, 10);
    paused.state = State::Paused;
    dialog.OnProgress(paused);
    dialog.Close();
  });

  std::vector<Event> events = front_->Events();
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ(events[0].what, "create");
  EXPECT_EQ(events[1].what, "title");
  EXPECT_EQ(events[1].text, "Orvask Downloader");
  EXPECT_EQ(events[2].what, "text");
  EXPECT_EQ(events[2].text, "Calculating time remaining");
  EXPECT_EQ(events[3].what, "icon");
  EXPECT_EQ(events[4].what, "move");
  std::vector<std::pair<std::string, std::string>> updates;
  for (const Event& e : events) {
    if (e.what == "progress") updates.emplace_back("bar", std::to_string(e.value));
    if (e.what == "text" && &e != &events[2]) updates.emplace_back("text", e.text);
  }
  EXPECT_EQ(updates, (std::vector<std::pair<std::string, std::string>>{
                         {"bar", "25"},
                         {"text", "45 seconds remaining"},
                         {"bar", "0"},
                         {"text", "Calculating time remaining"}}));
  EXPECT_EQ(events.back().what, "destroy");
}

TEST_F(DialogTest, CentresTheWindowOnTheDesktop) {
  const struct {
    int desktop_width, desktop_height, width, height;
    ui::Rect expected;
  } cases[] = {
      {1920, 1080, 320, 63, {800, 508, 1120, 571}},
      {1921, 1081, 321, 64, {800, 508, 1121, 572}},
      {200, 100, 321, 64, {-60, 18, 261, 82}},  // larger than the desktop
  };
  for (const auto& c : cases) {
    front_->set_desktop(ui::Rect{0, 0, c.desktop_width, c.desktop_height});
    front_->set_window_size(c.width, c.height);
    Dialog& dialog = MakeDialog();
    RunWith(dialog, [&] { dialog.Close(); });
    std::vector<Event> moves = EventsAfterCreate("move");
    ASSERT_FALSE(moves.empty());
    const ui::Rect r = moves.back().rect;
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
    Dialog::DestroySingleton();
  }
}

TEST_F(DialogTest, IsASingleton) {
  EXPECT_THROW(
      {
        try {
          Dialog::GetSingleton();
        } catch (const std::logic_error& e) {
          EXPECT_STREQ(e.what(), "Dialog::GetSingleton called without CreateSingleton");
          throw;
        }
      },
      std::logic_error);
  Dialog& dialog = MakeDialog();
  EXPECT_EQ(&Dialog::GetSingleton(), &dialog);
  try {
    MakeDialog();
    ADD_FAILURE() << "a second dialog was made";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Dialog::CreateSingleton called multiple times");
  }
}

TEST_F(DialogTest, BuildsTheDownloaderCommandLine) {
  const struct {
    std::function<void(UpdaterSettings&)> change;
    std::string skinFile;
    std::string line;
  } cases[] = {
      {[](UpdaterSettings&) {}, "",
       " /id \"skinpartner\" /package \"downloader\" /name \"Orvask\" /folder \"OrvaskDir\""},
      {[](UpdaterSettings& s) {
         s.manifestHostOverride = "manifests.local:8080";
         s.packageVersion = "1.0";
         s.log = 3;
       },
       "skin.dat",
       " /host \"manifests.local:8080\" /id \"skinpartner\" /package \"downloader\" /name "
       "\"Orvask\" /folder \"OrvaskDir\" /version \"1.0\" /skin \"skinpkg/skin.dat\" /log \"3\""},
      {[](UpdaterSettings& s) {
         s.skinPartnerId = "";
         s.packageVersion = "";
         s.log = 0;
       },
       "",
       " /package \"downloader\" /name \"Orvask\" /folder \"OrvaskDir\" /version \"\" /log "
       "\"0\""},
      {[](UpdaterSettings& s) { s.log = 0xFFFFFFFFu; }, "",
       " /id \"skinpartner\" /package \"downloader\" /name \"Orvask\" /folder \"OrvaskDir\" "
       "/log \"4294967295\""},
      // Values cannot add switches: quotes and trailing backslashes are escaped.
      {[](UpdaterSettings& s) {
         s.packageVersion = "1\" /host \"evil";
         s.gameFolder = "C:\\Games\\";
       },
       "",
       " /id \"skinpartner\" /package \"downloader\" /name \"Orvask\" /folder \"C:\\Games\\\\\" "
       "/version \"1\\\" /host \\\"evil\""},
  };
  const UpdaterSettings original = settings_;
  for (const auto& c : cases) {
    settings_ = original;
    c.change(settings_);
    Dialog& dialog = MakeDialog();
    if (!c.skinFile.empty()) dialog.OnEnd(Completed("s", c.skinFile));
    EXPECT_EQ(dialog.BuildDownloaderCommandLine(), c.line);
    Dialog::DestroySingleton();
  }
}

TEST_F(DialogTest, ChoosesTheMessageOfEveryTransferError) {
  const std::string unexpected =
      "An unexpected error occurred. Please visit support.corvane.com for further assistance.";
  const std::string write = kDiskWriteMessage;
  const std::string by_error[] = {
      unexpected, unexpected, kNetworkMessage, kOutOfMemoryMessage, kDiskFullMessage,
      write,      unexpected, write,           unexpected,          unexpected};
  for (uint8_t error = 0; error <= 9; ++error) {
    EXPECT_EQ(ErrorMessage(error), by_error[error]) << int(error);
  }
  EXPECT_EQ(ErrorMessage(200), unexpected);
  EXPECT_EQ(LaunchFailedMessage(),
            "The {1} Downloader could not be launched. Please visit support.corvane.com for "
            "further assistance.");
}

TEST_F(DialogTest, AnErrorShowsItsTranslatedMessageAndEndsTheDialog) {
  locale_ = std::make_unique<BoostSystemLocale>(catalog_, "de_DE.UTF-8");
  InstallDownloader("Downloader.exe");
  Dialog& dialog = MakeDialog();
  RunWith(dialog, [&] {
    dialog.OnEnd(FakeTransferService::Status("p", State::Transferring, TransferError::Network));
    // The dialog has ended: a later completion launches nothing and shows nothing.
    dialog.OnEnd(Completed("s", ""));
    dialog.OnEnd(Completed("p", "Downloader.exe"));
  });
  std::vector<Event> boxes = EventsAfterCreate("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, locale_->Translate(kNetworkMessage));
  EXPECT_NE(boxes[0].text, kNetworkMessage);
  EXPECT_EQ(boxes[0].caption, "Orvask Downloader – Fehler");
  EXPECT_NE(boxes[0].window, 0u);  // owned by the dialog
  EXPECT_FALSE(std::filesystem::exists(folder_ / "log"));
}

TEST_F(DialogTest, StartsEachTransferIntoItsFolderAndWatchesItAgain) {
  Dialog& dialog = MakeDialog();
  fake_->Script("p", {Transferring("p", 1, 2, 5)});
  monitor_->Start();
  dialog.OnInitialized(FakeTransferService::Status("s", State::Initialized));
  dialog.OnInitialized(FakeTransferService::Status("p", State::Initialized));
  EXPECT_TRUE(fake_->WaitForCall("get p"));
  EXPECT_TRUE(fake_->WaitForCall("get s"));
  const std::vector<std::string> calls = fake_->Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "start s " + settings_.skinPath);
  EXPECT_EQ(calls[1], "start p " + settings_.dataFolder);
}

TEST_F(DialogTest, LaunchesTheDownloaderOnceBothHaveCompleted) {
  InstallDownloader("bin/Downloader.exe");
  settings_.packageVersion = "2.5";
  Dialog& dialog = MakeDialog();
  RunWith(dialog, [&] {
    dialog.OnEnd(Completed("s", "skin.dat"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "log"));
    dialog.OnEnd(Completed("p", "bin/Downloader.exe"));
  });
  EXPECT_EQ(folder_.ReadFile("log"),
            "start\n" + settings_.dataFolder +
                "/bin\n/id\nskinpartner\n/package\ndownloader\n"
                "/name\nOrvask\n/folder\nOrvaskDir\n/version\n2.5\n/skin\nskinpkg/skin.dat\n");
  EXPECT_TRUE(EventsAfterCreate("box").empty());
  std::vector<std::string> launch;
  for (const Event& e : front_->Events()) {
    if (e.what == "show")
      launch.push_back("show " + std::to_string(e.item) + " " + std::to_string(e.value));
    if (e.what == "marquee") launch.push_back("marquee " + std::to_string(e.value));
    if (e.what == "text" && e.text.rfind("Launching", 0) == 0) launch.push_back(e.text);
  }
  EXPECT_EQ(launch, (std::vector<std::string>{"show 1001 0", "marquee 1", "show 1003 1",
                                              "Launching Orvask Downloader"}));
}

TEST_F(DialogTest, RefusesRunFilesThatCannotBeTheDownloader) {
  InstallDownloader("Downloader.exe");
  // A script outside the data folder that must never run.
  std::ofstream(folder_ / "outside.sh") << Downloader(folder_.path());
  chmod((folder_ / "outside.sh").c_str(), 0700);
  // A link inside the data folder that leads to it.
  std::filesystem::create_symlink(folder_ / "outside.sh", settings_.dataFolder + "/link.exe");
  const std::string cases[] = {
      "",                      // no run file: the data folder itself is not opened
      "missing.exe",           // nothing to start
      "../outside.sh",         // leaves the data folder
      folder_ / "outside.sh",  // absolute
      "link.exe",              // a link, not a regular file
  };
  for (const std::string& runFile : cases) {
    SCOPED_TRACE(runFile);
    FreshHost();
    Dialog& dialog = MakeDialog();
    RunWith(dialog, [&] {
      dialog.OnEnd(Completed("s", ""));
      dialog.OnEnd(Completed("p", runFile));
    });
    std::vector<Event> boxes = EventsAfterCreate("box");
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text,
              "The Orvask Downloader could not be launched. Please visit support.corvane.com "
              "for further assistance.");
    EXPECT_EQ(boxes.back().caption, "Orvask Downloader Error");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "log"));
    Dialog::DestroySingleton();
  }
}

// The run file is started by its path, so the data folder's chain is checked again at the
// launch: a data folder that others may write into, or that is a link, or a folder above
// the temporary folder that others may write into, by then is refused although it passed
// at the start.
TEST_F(DialogTest, TheLaunchChecksTheDataFolderAgain) {
  const std::string above = folder_ / "above";
  std::filesystem::create_directories(above + "/tmp");
  ScopedTmpdir tmpdir(above + "/tmp");
  settings_.dataFolder = above + "/tmp/data";
  const std::string data = settings_.dataFolder;
  const struct {
    const char* name;
    std::function<void()> change;
  } cases[] = {
      {"made writable by everyone", [&] { ASSERT_EQ(chmod(data.c_str(), 0777), 0); }},
      {"swapped for a link",
       [&] {
         std::filesystem::rename(data, data + "-moved");
         std::filesystem::create_directory_symlink(data + "-moved", data);
       }},
      {"below a folder made writable by everyone",
       [&] { ASSERT_EQ(chmod(above.c_str(), 0777), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(chmod(above.c_str(), 0755), 0);
    std::filesystem::remove_all(data);  // a link left by the case before goes alone
    std::filesystem::remove_all(data + "-moved");
    std::filesystem::remove(folder_ / "log");
    InstallDownloader("Downloader.exe");
    FreshHost();
    Dialog& dialog = MakeDialog();
    RunWith(dialog, [&] {
      dialog.OnEnd(Completed("s", ""));
      c.change();
      dialog.OnEnd(Completed("p", "Downloader.exe"));
    });
    const std::vector<Event> boxes = EventsAfterCreate("box");
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.empty() ? "" : boxes[0].text,
              "The Orvask Downloader could not be launched. Please visit support.corvane.com "
              "for further assistance.");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "log")) << "nothing ran";
    Dialog::DestroySingleton();
  }
}

TEST_F(DialogTest, TheUserClosingWhileTheDownloaderRunsEndsTheLoopAtOnce) {
  InstallDownloader("Downloader.exe");
  folder_.WriteFile("wait", "");
  front_->CloseWhen(Is("text", "Launching Orvask Downloader"));
  Dialog& dialog = MakeDialog();
  std::thread monitor([&] {
    ASSERT_TRUE(front_->WaitForEvent(Is("move")));
    dialog.OnEnd(Completed("s", ""));
    dialog.OnEnd(Completed("p", "Downloader.exe"));  // returns when the downloader exits
  });
  dialog.Run();
  // The loop has ended while the downloader still runs; the monitor thread waits for it.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!std::filesystem::exists(folder_ / "running") &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(std::filesystem::exists(folder_ / "running"));
  EXPECT_EQ(front_->Events().back().what, "destroy");
  folder_.WriteFile("go", "");
  monitor.join();
  EXPECT_TRUE(EventsAfterCreate("box").empty());
  EXPECT_EQ(front_->Events().back().what, "destroy");  // nothing after the window went
}

TEST_F(DialogTest, NothingIsLaunchedOnceTheUserHasClosed) {
  InstallDownloader("Downloader.exe");
  Dialog& dialog = MakeDialog();
  RunWith(dialog, [&] {
    dialog.OnEnd(Completed("s", ""));
    front_->Close();
    ASSERT_TRUE(front_->WaitForEvent(Is("destroy")));
    dialog.OnProgress(Transferring("p", 1, 2, 3));
    dialog.OnEnd(Completed("p", "Downloader.exe"));
    dialog.Close();
  });
  EXPECT_FALSE(std::filesystem::exists(folder_ / "log"));
  EXPECT_EQ(front_->Events().back().what, "destroy");
  EXPECT_TRUE(EventsAfterCreate("progress").empty());
}

}  // namespace
}  // namespace Updater
}  // namespace zarn
