#ifndef ZARN_WORK_TESTING_GATE_H_
#define ZARN_WORK_TESTING_GATE_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace zarn {

// A value that threads wait on until it satisfies a condition, with a generous bound so
// that a broken test fails instead of hanging.
class WaitableCounter {
 public:
  static constexpr std::chrono::seconds kBound{30};

  void Add(int delta = 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_ += delta;
    changed_.notify_all();
  }
  int value() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }
  // False when the bound passed first.
  bool WaitUntil(const std::function<bool(int)>& condition) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kBound, [&] { return condition(value_); });
  }
  bool WaitAtLeast(int n) const {
    return WaitUntil([n](int v) { return v >= n; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int value_ = 0;
};

// A gate that works wait at until the test opens it.
class Gate {
 public:
  void Open() { opened_.Add(); }
  bool Wait() const { return opened_.WaitAtLeast(1); }

 private:
  WaitableCounter opened_;
};

}  // namespace zarn

#endif  // ZARN_WORK_TESTING_GATE_H_
