#include "work/work_status.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <new>
#include <stdexcept>
#include <string>

#include "work/work_error_data.h"
#include "work/work_exception_data.h"

namespace zarn {
namespace {

using boost::property_tree::ptree;

std::exception_ptr Capture(const std::function<void()>& thrower) {
  try {
    thrower();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

// The tree's keys in order, as "key=value" with children as "key{...}".
std::string Flatten(const ptree& tree) {
  std::string out;
  for (const auto& entry : tree) {
    if (!out.empty()) out += ",";
    out += entry.first;
    if (entry.second.empty()) {
      out += "=" + entry.second.data();
    } else {
      out += "{" + Flatten(entry.second) + "}";
    }
  }
  return out;
}

struct DescribeCase {
  const char* name;
  WorkStatus status;
  std::string tree;
  std::string text;  // the payload's ToString
};

TEST(WorkStatusTest, DescribesStatusesAndPayloads) {
  struct Unrelated {};
  const DescribeCase cases[] = {
      {"no payload", WorkStatus(WorkResult::Error), "result=4,retry=false", ""},
      {"success", WorkStatus(WorkResult::Success), "result=0,retry=false", ""},
      {"error message", WorkStatus(WorkResult::Failure, MakeWorkErrorData("disk on fire")),
       "result=1,retry=false,data{errorMessage=disk on fire}", "disk on fire"},
      {"standard exception", WorkStatus(WorkResult::Error, MakeWorkExceptionData(Capture([] {
                                          throw std::runtime_error("socket closed");
                                        }))),
       "result=4,retry=false,data{exception=std::runtime_error,what=socket closed}",
       "std::runtime_error"},
      {"bad_alloc", WorkStatus(WorkResult::Error, MakeWorkExceptionData(Capture([] {
                                 throw std::bad_alloc();
                               }))),
       "result=4,retry=false,data{exception=std::bad_alloc,what=std::bad_alloc}", "std::bad_alloc"},
      {"integer", WorkStatus(WorkResult::Error, MakeWorkExceptionData(Capture([] { throw 7; }))),
       "result=4,retry=false,data{exception=Unknown exception type}", "Unknown exception type"},
      {"unrelated class",
       WorkStatus(WorkResult::Error, MakeWorkExceptionData(Capture([] { throw Unrelated(); }))),
       "result=4,retry=false,data{exception=Unknown exception type}", "Unknown exception type"},
      {"empty exception_ptr", WorkStatus(WorkResult::Error, MakeWorkExceptionData(nullptr)),
       "result=4,retry=false,data{exception=std::logic_error,"
       "what=WorkExceptionData::Rethrow called with no exception_ptr}",
       "std::logic_error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ptree tree;
    c.status.Describe(tree);
    EXPECT_EQ(Flatten(tree), c.tree);
    if (c.status.data) {
      EXPECT_EQ(c.status.data->ToString(), c.text);
    }
  }
}

TEST(WorkStatusTest, RetryFlagIsWrittenAsText) {
  WorkStatus status(WorkResult::RetryableError);
  status.retry = true;
  ptree tree;
  status.Describe(tree);
  EXPECT_EQ(Flatten(tree), "result=3,retry=true");
}

TEST(WorkStatusTest, RethrowGivesTheKeptExceptionOrTheLogicError) {
  WorkExceptionData kept(Capture([] { throw std::out_of_range("index 9"); }));
  EXPECT_THROW(kept.Rethrow(), std::out_of_range);

  WorkExceptionData empty(nullptr);
  try {
    empty.Rethrow();
    FAIL() << "Rethrow returned";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "WorkExceptionData::Rethrow called with no exception_ptr");
  }
}

TEST(WorkStatusTest, CopiesShareThePayloadButNotTheRetryFlag) {
  WorkStatus original(WorkResult::RetryableError, MakeWorkErrorData("m"));
  WorkStatus copy = original;
  copy.retry = true;
  EXPECT_FALSE(original.retry);
  EXPECT_EQ(copy.data.get(), original.data.get());
  WorkStatus assigned(WorkResult::Success);
  assigned = copy;
  EXPECT_TRUE(assigned.retry);
  EXPECT_EQ(assigned.data.get(), original.data.get());
}

// A payload kind that is both an error and an exception payload, as engine payloads are.
class BothData : public WorkErrorData, public WorkExceptionData {
 public:
  BothData() : WorkErrorData("both"), WorkExceptionData(nullptr) {}
  void Describe(ptree& tree) const override { WorkErrorData::Describe(tree); }
  std::string ToString() const override { return WorkErrorData::ToString(); }
};

class SilentData : public WorkStatusData {
 public:
  void Describe(ptree&) const override {}
};

TEST(WorkStatusTest, PayloadKindsCombineOverOneVirtualBase) {
  std::shared_ptr<WorkStatusData> data = std::make_shared<BothData>();
  auto as_error = std::dynamic_pointer_cast<WorkErrorData>(data);
  auto as_exception = std::dynamic_pointer_cast<WorkExceptionData>(data);
  ASSERT_TRUE(as_error);
  ASSERT_TRUE(as_exception);
  EXPECT_EQ(static_cast<WorkStatusData*>(as_error.get()), data.get());
  EXPECT_EQ(std::dynamic_pointer_cast<WorkErrorData>(
                std::static_pointer_cast<WorkStatusData>(as_exception)),
            as_error);
  EXPECT_EQ(data->ToString(), "both");

  EXPECT_EQ(SilentData().ToString(), "");
}

}  // namespace
}  // namespace zarn
