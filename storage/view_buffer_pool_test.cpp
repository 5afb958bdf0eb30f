#include "storage/view_buffer_pool.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "testing/allocation/allocation_seam.h"

namespace zarn {
namespace {

const uint64_t kPage = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));

// Whether every page of [data, data + length) is mapped in this process.
bool Mapped(const uint8_t* data, uint64_t length) {
  std::vector<unsigned char> resident((length + kPage - 1) / kPage);
  return mincore(const_cast<uint8_t*>(data), length, resident.data()) == 0;
}

TEST(ViewBufferPoolTest, ReusesIdleBuffersAndGivesThemBackWhenNoneIsLive) {
  ViewBufferPool pool(64 * kPage, 16 * kPage);
  ViewBufferPool::Buffer held = pool.Acquire(kPage);
  uint8_t* const heldData = held.data();
  uint8_t* first;
  {
    ViewBufferPool::Buffer buffer = pool.Acquire(4 * kPage - 1);
    ASSERT_TRUE(buffer);
    std::memset(buffer.data(), 7, 4 * kPage - 1);  // the whole length is usable
    first = buffer.data();
    EXPECT_EQ(pool.live_bytes(), 5 * kPage);
  }
  EXPECT_EQ(pool.idle_bytes(), 4 * kPage);
  // The smallest idle buffer that fits is handed out again; a buffer moves with its handle.
  ViewBufferPool::Buffer again = pool.Acquire(3 * kPage);
  EXPECT_EQ(again.data(), first);
  ViewBufferPool::Buffer moved = std::move(again);
  EXPECT_FALSE(again);
  EXPECT_EQ(moved.data(), first);
  EXPECT_EQ(pool.idle_bytes(), 0u);
  moved = ViewBufferPool::Buffer();
  EXPECT_EQ(pool.idle_bytes(), 4 * kPage);
  ASSERT_TRUE(Mapped(first, 4 * kPage) && Mapped(heldData, kPage));
  held = ViewBufferPool::Buffer();  // no buffer is live: the idle ones go back to the system
  EXPECT_EQ(pool.live_bytes(), 0u);
  EXPECT_EQ(pool.idle_bytes(), 0u);
  EXPECT_FALSE(Mapped(first, 4 * kPage));
  EXPECT_FALSE(Mapped(heldData, kPage));
}

// The last view of a chunk may go when memory has run out: a buffer comes back to its pool
// without needing any, or its destructor would end the process.
TEST(ViewBufferPoolTest, BuffersComeBackWithoutMemory) {
  ViewBufferPool pool(64 * kPage, 16 * kPage);
  std::vector<ViewBufferPool::Buffer> buffers;
  for (int i = 0; i < 9; ++i) buffers.push_back(pool.Acquire(kPage));
  ViewBufferPool::Buffer last = pool.Acquire(kPage);
  {
    ScopedFailingAllocation failing;
    buffers.clear();
  }
  EXPECT_EQ(pool.idle_bytes(), 9 * kPage);
  {
    ScopedFailingAllocation failing;
    last = ViewBufferPool::Buffer();  // none live: every idle one goes too
  }
  EXPECT_EQ(pool.idle_bytes(), 0u);
  EXPECT_EQ(pool.live_bytes(), 0u);
}

TEST(ViewBufferPoolTest, NeverHoldsMoreThanTheBudgetNorABufferAboveTheLargest) {
  ViewBufferPool pool(8 * kPage, 4 * kPage);
  EXPECT_FALSE(pool.Acquire(0));
  EXPECT_FALSE(pool.Acquire(4 * kPage + 1));
  std::vector<ViewBufferPool::Buffer> live;
  for (int i = 0; i < 4; ++i) live.push_back(pool.Acquire(2 * kPage));
  for (const auto& buffer : live) EXPECT_TRUE(buffer);
  EXPECT_FALSE(pool.Acquire(1)) << "the budget is spent";
  live.pop_back();
  live.pop_back();
  // The idle 2-page buffers are too small for 3 pages: they are freed to make room.
  ViewBufferPool::Buffer larger = pool.Acquire(3 * kPage);
  EXPECT_TRUE(larger);
  EXPECT_EQ(pool.live_bytes(), 7 * kPage);
  EXPECT_EQ(pool.idle_bytes(), 0u);
}

}  // namespace
}  // namespace zarn
