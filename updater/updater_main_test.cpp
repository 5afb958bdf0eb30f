#include "updater/updater_main.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>
#include <thread>

#include "storage/testing/test_folder.h"
#include "transfer/transfer_config.h"
#include "updater/file_helpers.h"
#include "updater/module_resources.h"
#include "updater/testing/fake_transfer_service.h"
#include "updater/testing/no_room_for_threads.h"
#include "updater/testing/recording_front_end.h"
#include "updater/ui/queued_dialog_host.h"
#include "updater/updater_settings.h"
#include "work/asio_work_manager.h"

namespace zarn {
namespace {

using Event = ui::RecordingFrontEnd::Event;

class UpdaterMainTest : public testing::Test {
 protected:
  UpdaterMainTest() {
    setenv("TMPDIR", folder_.path().c_str(), 1);
    setenv("LC_ALL", "C", 1);
    auto front = std::make_unique<ui::RecordingFrontEnd>();
    front_ = front.get();
    host_ = std::make_unique<ui::QueuedDialogHost>(std::move(front));
  }
  ~UpdaterMainTest() override {
    unsetenv("TMPDIR");
    unsetenv("LC_ALL");
  }

  int Run() {
    return UpdaterMain({"/opt/updater"}, *host_, ModuleResources::Embedded(),
                       [this](const TransferConfig& config) {
                         config_ = config;
                         auto fake = std::make_unique<FakeTransferService>();
                         setup_(*fake);
                         return fake;
                       });
  }
  std::vector<Event> Boxes() {
    std::vector<Event> boxes;
    for (const Event& e : front_->Events()) {
      if (e.what == "box") boxes.push_back(e);
    }
    return boxes;
  }

  TestFolder folder_;
  ui::RecordingFrontEnd* front_;
  std::unique_ptr<ui::QueuedDialogHost> host_;
  std::function<void(FakeTransferService&)> setup_;
  TransferConfig config_;
};

TEST_F(UpdaterMainTest, AFailureAtCreationShowsItsMessageWithoutADialog) {
  setup_ = [](FakeTransferService&) {};  // every CreateTransfer gives the empty status
  EXPECT_EQ(Run(), 0);
  std::vector<Event> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].window, 0u);
  EXPECT_EQ(boxes[0].text,
            "An unexpected error occurred. Please visit support.corvane.com for further "
            "assistance.");
  EXPECT_EQ(front_->Events().size(), 1u);  // no window was made
  EXPECT_EQ(config_.engineThreads, 2 * TransferConfig().engineThreads);
  EXPECT_EQ(config_.logMask, -9);
}

// An existing data or skin folder is checked as closely as a new one: one that is not a
// folder, or that others may write into, stops the run before a transfer or a window is
// made.
TEST_F(UpdaterMainTest, ARefusedDataOrSkinFolderShowsTheDiskWriteMessage) {
  const UpdaterSettings settings(ModuleResources::Embedded(), {});
  const struct {
    const char* name;
    std::function<void()> plant;
  } cases[] = {
      {"a file in the data folder's place",
       [&settings] {
         std::filesystem::create_directories(ParentFolder(settings.dataFolder));
         std::ofstream(settings.dataFolder) << "x";
       }},
      {"a skin folder others may write into",
       [&settings] {
         std::filesystem::create_directories(settings.skinPath);
         std::filesystem::permissions(settings.skinPath, std::filesystem::perms::all);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder_ / "Corvane Technologies");
    c.plant();
    const std::size_t events = front_->Events().size();
    // A run that got as far as creating transfers would show the unexpected-error message.
    setup_ = [](FakeTransferService&) {};
    EXPECT_EQ(Run(), 0);
    const std::vector<Event> all = front_->Events();
    const std::vector<Event> events_after(all.begin() + events, all.end());
    ASSERT_EQ(events_after.size(), 1u) << "one message box and no window";
    EXPECT_EQ(events_after[0].what, "box");
    EXPECT_EQ(events_after[0].text,
              "We're having some trouble writing to your disk. Can you make sure your user "
              "account has sufficient permissions and try again?");
  }
}

TEST_F(UpdaterMainTest, TeardownWaitsForTheMonitorBeforeReleasingWhatItUses) {
  const ModuleResources& module = ModuleResources::Embedded();
  UpdaterSettings settings(module, {});
  setup_ = [&](FakeTransferService& fake) {
    fake.OnCreate(settings.packageId,
                  FakeTransferService::Status("p", TransferState::Initializing));
    fake.OnCreate(settings.skinFolder,
                  FakeTransferService::Status("s", TransferState::Initializing));
    fake.Script("p", {FakeTransferService::Status("p", TransferState::Initializing,
                                                  TransferError::Network)});
    fake.Script("s", {FakeTransferService::Status("s", TransferState::Initializing,
                                                  TransferError::Network)});
    // The skin's failure arrives only after the dialog has gone, while the program tears
    // down: its callback still translates, so the locale must still be there.
    fake.on_get = [this](const std::string& id) {
      if (id == "s") front_->WaitForEvent([](const Event& e) { return e.what == "destroy"; });
    };
  };
  EXPECT_EQ(Run(), 0);
  std::vector<Event> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "We couldn't establish a connection. Could you please check your connection and "
            "try again?");
  EXPECT_NE(boxes[0].window, 0u);
  EXPECT_EQ(front_->Events().back().what, "destroy");
}

// A thread that cannot be started, of the engine's pool or of the monitor, ends the run
// with the out-of-memory message in a box of no window, and the exit code 0.
TEST_F(UpdaterMainTest, AThreadThatCannotStartShowsTheOutOfMemoryMessage) {
  const std::string message =
      "The system is out of memory; are you running too many programs? Free up some memory "
      "and try again.";
  // The engine's pool, whose third thread fails to start.
  int starts = 0;
  const AsioWorkManager::ThreadStarter failing_third = [&starts](std::function<void()> body) {
    if (++starts == 3) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::thread(std::move(body));
  };
  EXPECT_EQ(UpdaterMain({"/opt/updater"}, *host_, ModuleResources::Embedded(),
                        [&](const TransferConfig& config) -> std::unique_ptr<TransferServiceApi> {
                          AsioWorkManager engine(config.engineThreads, failing_third);
                          return std::make_unique<FakeTransferService>();
                        }),
            0);
  std::vector<Event> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].window, 0u);
  EXPECT_EQ(boxes[0].text, message);
  EXPECT_EQ(boxes[0].caption, "Orvask Downloader Error");
  EXPECT_EQ(front_->Events().size(), 1u) << "no window was made";

  // The monitor's thread, under a real limit: in a child, whose exit code names the first
  // check that failed.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);  // the child's deadline: SIGALRM ends it
    const auto run = [&message] {
      auto front = std::make_unique<ui::RecordingFrontEnd>();
      ui::RecordingFrontEnd* recorded = front.get();
      ui::QueuedDialogHost host(std::move(front));
      LeaveNoRoomForAThread();
      const int code = UpdaterMain(
          {"/opt/updater"}, host, ModuleResources::Embedded(),
          [](const TransferConfig&) { return std::make_unique<FakeTransferService>(); });
      const std::vector<Event> events = recorded->Events();
      if (code != 0) return 11;
      if (events.size() != 1 || events[0].what != "box") return 12;
      if (events[0].text != message) return 13;
      return 0;
    };
    int code = 10;  // an exception left the program
    try {
      code = run();
    } catch (...) {
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace zarn
