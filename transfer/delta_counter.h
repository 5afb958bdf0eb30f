#ifndef ZARN_TRANSFER_DELTA_COUNTER_H_
#define ZARN_TRANSFER_DELTA_COUNTER_H_

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zarn {

// A running total that also remembers the value it last reported, so that each report can
// carry the growth since the previous one. Add is lock-free; the mutex makes reading the
// value and moving the report mark one step. Deltas wrap modulo the counter's width.
template <typename T>
class BasicDeltaCounter {
 public:
  BasicDeltaCounter() = default;
  BasicDeltaCounter(const BasicDeltaCounter&) = delete;
  BasicDeltaCounter& operator=(const BasicDeltaCounter&) = delete;

  void Add(const T& amount) { value_.fetch_add(amount, std::memory_order_relaxed); }

  T GetValue() const { return value_.load(std::memory_order_relaxed); }

  // The growth since the last TakeDelta; moves the report mark to the current value.
  T TakeDelta() {
    std::lock_guard<std::mutex> lock(mutex_);
    const T value = value_.load(std::memory_order_relaxed);
    const T delta = static_cast<T>(value - lastReported_);
    lastReported_ = value;
    return delta;
  }

  // The growth since the last TakeDelta, leaving the report mark where it is.
  T PeekDelta() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<T>(value_.load(std::memory_order_relaxed) - lastReported_);
  }

 private:
  std::atomic<T> value_{0};
  mutable std::mutex mutex_;
  T lastReported_ = 0;
};

// The 64-bit counter of byte and time totals; the 32-bit form serves request counts and
// millisecond sums that are reported modulo 2^32.
using DeltaCounter = BasicDeltaCounter<uint64_t>;
using DeltaCounter32 = BasicDeltaCounter<uint32_t>;

}  // namespace zarn

#endif  // ZARN_TRANSFER_DELTA_COUNTER_H_
