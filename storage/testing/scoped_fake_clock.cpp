#include "storage/testing/scoped_fake_clock.h"

namespace zarn {

ScopedFakeClock::ScopedFakeClock(uint32_t start_milliseconds)
    : now_(start_milliseconds), previous_(Timestamp::SetClockForTesting(this)) {}

ScopedFakeClock::~ScopedFakeClock() { Timestamp::SetClockForTesting(previous_); }

uint32_t ScopedFakeClock::NowMilliseconds() const { return now_.load(std::memory_order_acquire); }

void ScopedFakeClock::Set(uint32_t milliseconds) {
  now_.store(milliseconds, std::memory_order_release);
}

void ScopedFakeClock::Advance(uint32_t milliseconds) {
  now_.fetch_add(milliseconds, std::memory_order_acq_rel);
}

}  // namespace zarn
