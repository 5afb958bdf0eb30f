#ifndef ZARN_STORAGE_TESTING_SCOPED_FAKE_CLOCK_H_
#define ZARN_STORAGE_TESTING_SCOPED_FAKE_CLOCK_H_

#include <atomic>
#include <cstdint>

#include "storage/timestamp.h"

namespace zarn {

// A test clock that every Timestamp taken in the process reads while this object lives.
// Time moves only through Set and Advance, which any thread may call. Restores the clock
// it replaced on destruction.
class ScopedFakeClock : public MillisecondClock {
 public:
  explicit ScopedFakeClock(uint32_t start_milliseconds = 0);
  ~ScopedFakeClock() override;

  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

  uint32_t NowMilliseconds() const override;
  void Set(uint32_t milliseconds);
  void Advance(uint32_t milliseconds);

 private:
  std::atomic<uint32_t> now_;
  const MillisecondClock* previous_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_TESTING_SCOPED_FAKE_CLOCK_H_
