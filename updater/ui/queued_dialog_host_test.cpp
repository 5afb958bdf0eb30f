#include "updater/ui/queued_dialog_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "updater/module_resources.h"
#include "updater/testing/recording_front_end.h"

namespace zarn {
namespace ui {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kUserMessage = 0x0400;

// Waits, bounded, until `condition` holds.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class QueuedDialogHostTest : public testing::Test {
 protected:
  QueuedDialogHostTest() {
    auto front = std::make_unique<RecordingFrontEnd>();
    front_ = front.get();
    host_ = std::make_unique<QueuedDialogHost>(std::move(front));
  }

  struct Message {
    uint32_t message;
    uintptr_t first;
    std::thread::id thread;
  };

  std::unique_ptr<QueuedDialogHost> host_;
  RecordingFrontEnd* front_;
  std::vector<Message> messages_;  // UI thread only
  WindowId window_ = 0;
};

TEST_F(QueuedDialogHostTest, RunsTheProcedureOnTheUiThreadAndEndsOnCancel) {
  const auto ui = std::this_thread::get_id();
  std::thread worker;
  std::atomic<bool> title_set{false}, title_after_end{true};
  intptr_t result = host_->RunModal(
      ProgressDialogTemplate(), [&](WindowId window, uint32_t m, uintptr_t first, intptr_t) {
        messages_.push_back({m, first, std::this_thread::get_id()});
        if (m == kInitDialogMessage) {
          window_ = window;
          worker = std::thread([&, window] {
            title_set = host_->SetTitle(window, "from the worker");
            host_->SendMessage(window, kCommandMessage, kCancelCommand, 0);
            title_after_end = host_->SetTitle(window, "too late");
          });
        }
        if (m == kCommandMessage) host_->EndDialog(window, 7);
        return true;
      });
  worker.join();

  EXPECT_EQ(result, 7);
  EXPECT_TRUE(title_set);
  EXPECT_FALSE(title_after_end);  // the window is gone: fails at once
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[0].message, kInitDialogMessage);
  EXPECT_EQ(messages_[1].message, kCommandMessage);
  EXPECT_EQ(messages_[1].first, kCancelCommand);
  EXPECT_EQ(messages_[2].message, kDestroyMessage);
  for (const Message& m : messages_) EXPECT_EQ(m.thread, ui);
  std::vector<RecordingFrontEnd::Event> events = front_->Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].what, "title");
  EXPECT_EQ(events[1].thread, ui);
  EXPECT_EQ(events[2].what, "destroy");

  // A second dialog gets a new id; the old one stays dead.
  WindowId second = 0;
  host_->RunModal(ProgressDialogTemplate(), [&](WindowId window, uint32_t m, uintptr_t, intptr_t) {
    if (m == kInitDialogMessage) {
      second = window;
      EXPECT_FALSE(host_->SetTitle(window_, "old"));
      host_->EndDialog(window, 0);
    }
    return true;
  });
  EXPECT_NE(second, window_);
  EXPECT_NE(second, 0u);
}

TEST_F(QueuedDialogHostTest, UserCloseReachesTheProcedureUnlessABoxIsOpen) {
  front_->HoldBoxes();
  std::thread box, user;
  int closes = 0;
  auto is = [](const char* what) {
    return [what](const RecordingFrontEnd::Event& e) { return e.what == what; };
  };
  host_->RunModal(
      ProgressDialogTemplate(), [&](WindowId window, uint32_t m, uintptr_t first, intptr_t) {
        if (m == kInitDialogMessage) {
          box = std::thread([&, window] { host_->MessageBox(window, "text", "caption"); });
          user = std::thread([&] {
            front_->WaitForEvent(is("box"));
            front_->Close();  // while the box is open: ignored
            front_->WaitForEvent(is("close"));
            front_->ReleaseBoxes();
            box.join();
            front_->Close();
          });
        }
        if (m == kCommandMessage && first == kCancelCommand) {
          ++closes;
          host_->EndDialog(window, 0);
        }
        return true;
      });
  user.join();
  EXPECT_EQ(closes, 1);
  int delivered = 0;
  for (const auto& e : front_->Events()) delivered += e.what == "close";
  EXPECT_EQ(delivered, 2);
}

TEST_F(QueuedDialogHostTest, ReleasesCallersWhenTheWindowGoes) {
  front_->HoldBoxes();
  std::future<bool> progress;
  std::thread box, ender, releaser;
  host_->RunModal(ProgressDialogTemplate(), [&](WindowId window, uint32_t m, uintptr_t, intptr_t) {
    if (m == kInitDialogMessage) {
      // The loop is kept busy by a box; meanwhile one caller ends the dialog and another
      // waits to move the bar.
      box = std::thread([&, window] { host_->MessageBox(window, "held", "caption"); });
      ender = std::thread([&, window] {
        front_->WaitForEvent([](const RecordingFrontEnd::Event& e) { return e.what == "box"; });
        host_->SendMessage(window, kUserMessage, 0, 0);
      });
      progress = std::async(std::launch::async, [&, window] {
        front_->WaitForEvent([](const RecordingFrontEnd::Event& e) { return e.what == "box"; });
        EXPECT_TRUE(Eventually([&] { return host_->pending_tasks() == 1; }));
        return host_->SetProgress(window, kProgressBarId, 50);
      });
      releaser = std::thread([&] {
        EXPECT_TRUE(Eventually([&] { return host_->pending_tasks() == 2; }));
        front_->ReleaseBoxes();
      });
    }
    if (m == kUserMessage) host_->EndDialog(window, 0);
    return true;
  });
  EXPECT_FALSE(progress.get());
  box.join();
  ender.join();
  releaser.join();
  for (const auto& e : front_->Events()) EXPECT_NE(e.what, "progress");
}

TEST_F(QueuedDialogHostTest, BoxesFromOtherThreadsWaitForTheLoopButNotAfterIt) {
  // Before any loop: the box waits and appears once the loop runs.
  std::thread early([&] { host_->MessageBox(0, "early", "caption"); });
  ASSERT_TRUE(Eventually([&] { return host_->pending_tasks() == 1; }));
  std::thread ender;
  host_->RunModal(ProgressDialogTemplate(), [&](WindowId window, uint32_t m, uintptr_t, intptr_t) {
    if (m == kInitDialogMessage) {
      ender = std::thread([&, window] {
        front_->WaitForEvent([](const RecordingFrontEnd::Event& e) { return e.what == "box"; });
        host_->EndDialog(window, 0);
      });
    }
    return true;
  });
  early.join();
  ender.join();
  // After the loop: nothing would ever show the box, so the caller returns at once.
  std::thread late([&] { host_->MessageBox(0, "late", "caption"); });
  late.join();
  // On the UI thread a box is shown without a loop.
  host_->MessageBox(0, "direct", "caption");
  std::vector<std::string> boxes;
  for (const auto& e : front_->Events()) {
    if (e.what == "box") boxes.push_back(e.text);
  }
  EXPECT_EQ(boxes, (std::vector<std::string>{"early", "direct"}));
}

}  // namespace
}  // namespace ui
}  // namespace zarn
