#ifndef ZARN_UPDATER_E2E_DEADLINE_H_
#define ZARN_UPDATER_E2E_DEADLINE_H_

// Test support: a test's own deadline. A run of the program happens on the test's thread
// and cannot be interrupted, so a run that hangs must end the test's process, with a
// message, rather than wait for CTest's time-out. CTest runs each test in a process of its
// own; servers the test started go with it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace zarn {

class Deadline {
 public:
  explicit Deadline(std::chrono::seconds limit) : watch_([this, limit] { Watch(limit); }) {}
  ~Deadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    watch_.join();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  void Watch(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, limit, [this] { return done_; })) return;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "%s.%s: FAILED, still running after its deadline of %lld s\n",
                 test ? test->test_suite_name() : "?", test ? test->name() : "?",
                 static_cast<long long>(limit.count()));
    std::fflush(stderr);
    _exit(1);
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread watch_;  // last: it starts once the fields above exist
};

}  // namespace zarn

#endif  // ZARN_UPDATER_E2E_DEADLINE_H_
