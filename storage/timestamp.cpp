#include "storage/timestamp.h"

#include <time.h>

#include <atomic>

namespace zarn {
namespace {

std::atomic<const MillisecondClock*> test_clock{nullptr};

// Milliseconds of the monotonic clock, never the wall clock: a wall-clock step backwards
// would turn a short interval into one of about 49 days.
uint32_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

uint32_t NowMilliseconds() {
  const MillisecondClock* clock = test_clock.load(std::memory_order_acquire);
  return clock ? clock->NowMilliseconds() : MonotonicMilliseconds();
}

}  // namespace

Timestamp::Timestamp() : milliseconds_(NowMilliseconds()) {}

Timestamp Timestamp::FromMilliseconds(uint64_t milliseconds) {
  return Timestamp(Raw{}, static_cast<uint32_t>(milliseconds));
}

uint64_t Timestamp::Since(const Timestamp& earlier) const {
  return static_cast<uint32_t>(static_cast<uint32_t>(milliseconds_) -
                               static_cast<uint32_t>(earlier.milliseconds_));
}

const MillisecondClock* Timestamp::SetClockForTesting(const MillisecondClock* clock) {
  return test_clock.exchange(clock, std::memory_order_acq_rel);
}

}  // namespace zarn
