#include "storage/fault_guard.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace zarn {
namespace {

const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));

// An inaccessible page: touching it raises SIGSEGV.
class InaccessiblePage {
 public:
  InaccessiblePage()
      : base_(static_cast<uint8_t*>(
            mmap(nullptr, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {}
  ~InaccessiblePage() { munmap(base_, kPage); }
  uint8_t* get() const { return base_; }

 private:
  uint8_t* base_;
};

struct Touch {
  const volatile uint8_t* at;
  int reached = 0;
};

void TouchIt(void* context) {
  Touch* touch = static_cast<Touch*>(context);
  (void)*touch->at;
  touch->reached = 1;
}

TEST(FaultGuardTest, ReportsAFaultInsideTheGuardedRange) {
  InaccessiblePage page;
  Touch touch{page.get() + 10};
  EXPECT_FALSE(RunWithFaultGuard(page.get(), kPage, TouchIt, &touch));
  EXPECT_EQ(touch.reached, 0);

  uint8_t fine = 0;
  Touch harmless{&fine};
  EXPECT_TRUE(RunWithFaultGuard(page.get(), kPage, TouchIt, &harmless));
  EXPECT_EQ(harmless.reached, 1);
}

void Throw(void*) { throw std::runtime_error("from the body"); }

TEST(FaultGuardTest, AnExceptionOfTheBodyPassesAndTakesTheGuardAlong) {
  InaccessiblePage page;
  EXPECT_THROW(RunWithFaultGuard(page.get(), kPage, Throw, nullptr), std::runtime_error);
  EXPECT_FALSE(InsideFaultGuard());
  // The range is no longer guarded: a fault there is a crash, not a jump into a dead frame.
  Touch touch{page.get()};
  EXPECT_EXIT(TouchIt(&touch), testing::KilledBySignal(SIGSEGV), "");
}

struct Nested {
  InaccessiblePage* inner_page;
  Touch* touch;
  bool inner_result = true;
};

void GuardAgain(void* context) {
  Nested* nested = static_cast<Nested*>(context);
  nested->inner_result =
      RunWithFaultGuard(nested->inner_page->get(), kPage, TouchIt, nested->touch);
}

TEST(FaultGuardTest, NestedGuardsEachCatchTheirOwnRange) {
  InaccessiblePage outer_page;
  InaccessiblePage inner_page;

  // A fault in the inner range ends only the inner stretch.
  Touch inner_touch{inner_page.get()};
  Nested inner_fault{&inner_page, &inner_touch};
  EXPECT_TRUE(RunWithFaultGuard(outer_page.get(), kPage, GuardAgain, &inner_fault));
  EXPECT_FALSE(inner_fault.inner_result);

  // A fault in the outer range, raised inside the inner stretch, ends both.
  Touch outer_touch{outer_page.get()};
  Nested outer_fault{&inner_page, &outer_touch};
  EXPECT_FALSE(RunWithFaultGuard(outer_page.get(), kPage, GuardAgain, &outer_fault));
  EXPECT_TRUE(outer_fault.inner_result) << "the inner stretch never returned";

  // Both guards are gone: a fault in either range outside them is a crash again.
  EXPECT_EXIT(TouchIt(&inner_touch), testing::KilledBySignal(SIGSEGV), "");
}

}  // namespace
}  // namespace zarn
