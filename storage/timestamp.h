#ifndef ZARN_STORAGE_TIMESTAMP_H_
#define ZARN_STORAGE_TIMESTAMP_H_

#include <cstdint>

namespace zarn {

// The source of the millisecond timer. The process uses the monotonic system clock unless
// a test installs its own (see ScopedFakeClock).
class MillisecondClock {
 public:
  virtual ~MillisecondClock() = default;
  // Milliseconds since an arbitrary origin, wrapping modulo 2^32.
  virtual uint32_t NowMilliseconds() const = 0;
};

// A point of the millisecond timer: a u64 whose low word is the timer value when it was
// taken and whose high word is 0. Differences wrap modulo 2^32 ms (about 49.7 days), so an
// interval across the timer's wrap is still measured correctly.
class Timestamp {
 public:
  // Now.
  Timestamp();

  // The time point whose timer value is the low word of `milliseconds`.
  static Timestamp FromMilliseconds(uint64_t milliseconds);

  // Milliseconds from `earlier` to this time point, modulo 2^32.
  uint64_t Since(const Timestamp& earlier) const;

  // The timer value (high word 0).
  uint64_t Milliseconds() const { return milliseconds_; }

  // Installs `clock` as the process's timer (nullptr restores the system clock) and returns
  // the one it replaces. The clock must outlive its use; meant for tests only.
  static const MillisecondClock* SetClockForTesting(const MillisecondClock* clock);

 private:
  struct Raw {};
  Timestamp(Raw, uint32_t milliseconds) : milliseconds_(milliseconds) {}

  uint64_t milliseconds_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_TIMESTAMP_H_
