#include "storage/timestamp.h"

#include <gtest/gtest.h>

#include "storage/testing/scoped_fake_clock.h"

namespace zarn {
namespace {

TEST(TimestampTest, MeasuresAcrossTheTimerWrap) {
  const Timestamp before = Timestamp::FromMilliseconds(0xFFFFFF00u);
  const Timestamp after = Timestamp::FromMilliseconds(0x00000100u);
  EXPECT_EQ(after.Since(before), 512u);
  EXPECT_EQ(before.Since(before), 0u);
  // A raw value keeps only the low word, like the timer.
  EXPECT_EQ(Timestamp::FromMilliseconds(0x1234567890ull).Milliseconds(), 0x34567890u);
}

TEST(TimestampTest, SystemClockMovesForwardWithAZeroHighWord) {
  const Timestamp earlier;
  const Timestamp later;
  EXPECT_LT(later.Since(earlier), 60000u);
  EXPECT_EQ(later.Milliseconds() >> 32, 0u);
}

TEST(TimestampTest, FakeClockDrivesEveryTimestampUntilItIsGone) {
  {
    ScopedFakeClock clock(0xFFFFFFF0u);
    const Timestamp start;
    EXPECT_EQ(start.Milliseconds(), 0xFFFFFFF0u);
    clock.Advance(0x20);
    EXPECT_EQ(Timestamp().Since(start), 0x20u);
    clock.Set(5000);
    EXPECT_EQ(Timestamp().Milliseconds(), 5000u);
    {
      ScopedFakeClock inner(7);
      EXPECT_EQ(Timestamp().Milliseconds(), 7u);
    }
    EXPECT_EQ(Timestamp().Milliseconds(), 5000u);  // the outer clock is back
  }
  // The system clock again: two readings in a row are close together, not 5000 apart.
  const Timestamp a;
  EXPECT_LT(Timestamp().Since(a), 60000u);
}

}  // namespace
}  // namespace zarn
