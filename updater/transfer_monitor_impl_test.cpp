#include "updater/transfer_monitor_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "updater/testing/fake_transfer_service.h"
#include "updater/transfer_monitor_callback.h"
#include "updater/transfer_service.h"

namespace zarn {
namespace {

using State = TransferState;
using Error = TransferError;

// Records the callbacks it receives, and can run a hook in each.
class RecordingCallback : public TransferMonitorCallback {
 public:
  void OnProgress(const TransferStatus& s) override { Record("progress", s); }
  void OnInitialized(const TransferStatus& s) override { Record("initialized", s); }
  void OnRetryableError(const TransferStatus& s) override { Record("retryable", s); }
  void OnEnd(const TransferStatus& s) override { Record("end", s); }

  std::vector<std::string> Calls(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> calls;
    for (const auto& [call_id, call] : calls_) {
      if (call_id == id) calls.push_back(call);
    }
    return calls;
  }
  std::function<void(const std::string& call, const TransferStatus&)> hook;

 private:
  void Record(const std::string& call, const TransferStatus& status) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      calls_.emplace_back(status.transferId, call);
    }
    if (hook) hook(call, status);
  }
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> calls_;
};

class TransferMonitorImplTest : public testing::Test {
 protected:
  TransferMonitorImplTest() {
    auto fake = std::make_unique<FakeTransferService>();
    fake_ = fake.get();
    service_ = std::make_unique<TransferService>(std::move(fake));
  }
  FakeTransferService* fake_;
  std::unique_ptr<TransferService> service_;
};

TEST_F(TransferMonitorImplTest, DispatchesByStateErrorAndRetryable) {
  const struct {
    State state;
    Error error;
    bool retryable;
    std::vector<std::string> calls;
    bool still_watched;
  } cases[] = {
      {State::None, Error::None, false, {"end"}, false},
      {State::Suspended, Error::None, false, {"end"}, false},
      {State::Completed, Error::None, false, {"end"}, false},
      {State::Canceled, Error::None, false, {"end"}, false},
      {State::Completed, Error::Network, true, {"end"}, false},
      {State::Transferring, Error::Checksum, false, {"end"}, false},
      {State::Initializing, Error::Manifest, false, {"end"}, false},
      {State::Initialized, Error::None, false, {"initialized"}, false},
      {State::Initialized, Error::Network, true, {"initialized", "retryable"}, false},
      {State::Transferring, Error::Network, true, {"retryable"}, false},
      {State::Initializing, Error::DiskFull, true, {"retryable"}, false},
      {State::Transferring, Error::None, false, {"progress"}, true},
      {State::Initializing, Error::None, false, {"progress"}, true},
      {State::Paused, Error::None, false, {"progress"}, true},
      {State::InitializingPaused, Error::None, false, {"progress"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "state " << ToNumber(c.state) << " error "
                                    << ToNumber(c.error) << " retryable " << c.retryable);
    TransferMonitorImpl monitor(service_.get(), 20);
    RecordingCallback callback;
    fake_->Script("a", {FakeTransferService::Status("a", c.state, c.error, c.retryable)});
    // "z" is polled last in every pass and marks the passes.
    fake_->Script("z", {FakeTransferService::Status("z", State::Transferring)});
    const int passes_before = fake_->Count("get z");
    const int a_before = fake_->Count("get a");
    monitor.Watch("a", &callback);
    monitor.Watch("z", &callback);
    monitor.Start();
    ASSERT_TRUE(fake_->WaitForCall("get z", passes_before + 3));
    monitor.Stop();
    std::vector<std::string> calls = callback.Calls("a");
    if (c.still_watched) {
      EXPECT_GE(fake_->Count("get a") - a_before, 2);
      ASSERT_FALSE(calls.empty());
      calls.resize(1);
    } else {
      EXPECT_EQ(fake_->Count("get a") - a_before, 1);
    }
    EXPECT_EQ(calls, c.calls);
  }
}

TEST_F(TransferMonitorImplTest, WatchFromACallbackIsPolledInTheNextPass) {
  TransferMonitorImpl monitor(service_.get());
  RecordingCallback callback;
  fake_->Script("a", {FakeTransferService::Status("a", State::Transferring)});
  fake_->Script("b", {FakeTransferService::Status("b", State::Transferring)});
  std::atomic<bool> watched{false};
  callback.hook = [&](const std::string&, const TransferStatus& s) {
    if (s.transferId == "a" && !watched.exchange(true)) {
      monitor.Watch("b", &callback);
      monitor.Watch("a", nullptr);  // already watched: the first callback stays
    }
  };
  monitor.Watch("a", &callback);
  monitor.Start();
  ASSERT_TRUE(fake_->WaitForCall("get b", 2));
  monitor.Stop();
  const std::vector<std::string> calls = fake_->Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "get a");
  EXPECT_EQ(calls[1], "get a");  // not "get b": b joined during the first pass
  EXPECT_EQ(calls[2], "get b");
}

TEST_F(TransferMonitorImplTest, StopDuringACallbackDropsTheRestOfThePass) {
  TransferMonitorImpl monitor(service_.get());
  RecordingCallback callback;
  fake_->Script("a", {FakeTransferService::Status("a", State::Transferring)});
  fake_->Script("b", {FakeTransferService::Status("b", State::Transferring)});
  std::atomic<bool> stopped{false};
  // The stop arrives while a's callback runs (here from inside it, so that it is surely
  // set before the callback returns); b, later in the same pass, is not asked.
  callback.hook = [&](const std::string&, const TransferStatus& s) {
    if (s.transferId == "a") {
      monitor.Stop();
      stopped = true;
    }
  };
  monitor.Watch("a", &callback);
  monitor.Watch("b", &callback);
  monitor.Start();
  ASSERT_TRUE(fake_->WaitForCall("get a"));
  monitor.Stop();  // joins
  EXPECT_TRUE(stopped);
  EXPECT_EQ(fake_->Calls(), std::vector<std::string>{"get a"});
}

TEST_F(TransferMonitorImplTest, AThrowingCallbackDropsOnlyThatPass) {
  TransferMonitorImpl monitor(service_.get());
  RecordingCallback callback;
  fake_->Script("a", {FakeTransferService::Status("a", State::Transferring)});
  fake_->Script("b", {FakeTransferService::Status("b", State::Transferring)});
  std::atomic<int> throws{0};
  callback.hook = [&](const std::string&, const TransferStatus& s) {
    if (s.transferId == "a" && throws++ == 0) throw std::runtime_error("callback failed");
  };
  monitor.Watch("a", &callback);
  monitor.Watch("b", &callback);
  monitor.Start();
  ASSERT_TRUE(fake_->WaitForCall("get b", 2));
  monitor.Stop();
  const std::vector<std::string> calls = fake_->Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "get a");
  EXPECT_EQ(calls[1], "get a");  // the first pass ended with the exception
  EXPECT_EQ(calls[2], "get b");
}

TEST_F(TransferMonitorImplTest, PassesAreAtLeastNinetyPercentOfTheIntervalApart) {
  TransferMonitorImpl monitor(service_.get(), 50);
  RecordingCallback callback;
  fake_->Script("a", {FakeTransferService::Status("a", State::Transferring)});
  std::vector<std::chrono::steady_clock::time_point> times;
  std::mutex mutex;
  callback.hook = [&](const std::string&, const TransferStatus&) {
    std::lock_guard<std::mutex> lock(mutex);
    times.push_back(std::chrono::steady_clock::now());
  };
  monitor.Watch("a", &callback);
  monitor.Start();
  ASSERT_TRUE(fake_->WaitForCall("get a", 4));
  monitor.Stop();
  std::lock_guard<std::mutex> lock(mutex);
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(45));
  }
}

TEST_F(TransferMonitorImplTest, StopMayBeCalledAgainAndBeforeStart) {
  {
    TransferMonitorImpl idle(service_.get());
    idle.Stop();
    idle.Stop();
    idle.Start();  // stopped for good: no thread
  }
  TransferMonitorImpl monitor(service_.get());
  monitor.Start();
  monitor.Start();
  monitor.Stop();
  monitor.Stop();
  // The destructor stops once more; none of this may terminate.
}

}  // namespace
}  // namespace zarn
