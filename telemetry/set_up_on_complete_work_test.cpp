// The two set-up works: which work-log event a completion or a retry becomes.

#include "telemetry/set_up_on_complete_work.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <optional>
#include <string>

#include "telemetry/set_up_on_retry_work.h"
#include "telemetry/testing/described_work.h"
#include "telemetry/testing/recording_event_manager.h"
#include "work/work_error_data.h"

namespace zarn {
namespace {

using boost::property_tree::ptree;

struct KindCase {
  bool retry;  // a retry report, else a completion
  WorkResult result;
  std::optional<std::string> important;
  std::uint32_t kind;
};

TEST(SetUpWorkTest, ChoosesTheEventKindFromResultAndImportance) {
  const KindCase cases[] = {
      {false, WorkResult::Error, "true", 18},
      {false, WorkResult::Error, std::nullopt, 2},
      {false, WorkResult::RetryableError, std::nullopt, 2},
      {false, WorkResult::Success, std::nullopt, 8},
      {false, WorkResult::Failure, std::nullopt, 8},
      {false, WorkResult::Cancelled, std::nullopt, 8},
      {false, WorkResult::Success, "true", 24},
      {false, WorkResult::Success, "1", 24},
      {false, WorkResult::Success, "yes", 8},
      {false, WorkResult::Success, "false", 8},
      {true, WorkResult::RetryableError, std::nullopt, 4},
      {true, WorkResult::RetryableError, "true", 20},
  };
  for (const KindCase& c : cases) {
    RecordingEventManager sink;
    auto work = std::make_shared<DescribedWork>("w", c.important);
    WorkStatus status(c.result);
    status.retry = c.retry;
    std::shared_ptr<SimpleWork> setup;
    if (c.retry) {
      setup = SetUpOnRetryWork::Create(&sink, work, status);
    } else {
      setup = SetUpOnCompleteWork::Create(&sink, work, status);
    }
    EXPECT_EQ(setup->Run().result, WorkResult::Success);
    ASSERT_TRUE(sink.WaitForEvents(1));

    const auto events = sink.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, c.kind)
        << "result " << int(c.result) << " important " << c.important.value_or("(none)");
    ptree expected;
    expected.put("event", c.retry ? "OnSimpleWorkRetry" : "OnWorkComplete");
    ptree params;
    work->DescribeWithStatus(status, params);
    expected.put_child("params", params);
    EXPECT_EQ(events[0].tree, expected);
  }
}

TEST(SetUpWorkTest, EntryHoldsTheDescriptionWithStatusAndPayload) {
  RecordingEventManager sink;
  auto work = std::make_shared<DescribedWork>("fetch", "true");
  const WorkStatus status(WorkResult::Error, MakeWorkErrorData("disk on fire"));
  SetUpOnCompleteWork::Create(&sink, work, status)->Run();
  ASSERT_TRUE(sink.WaitForEvents(1));

  const auto events = sink.Events();
  const ptree& params = events[0].tree.get_child("params");
  std::vector<std::string> keys;
  for (const auto& child : params) keys.push_back(child.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"name", "important", "workStatus"}));
  EXPECT_EQ(params.get<std::string>("workStatus.result"), "4");
  EXPECT_EQ(params.get<std::string>("workStatus.retry"), "false");
  EXPECT_EQ(params.get<std::string>("workStatus.data.errorMessage"), "disk on fire");
}

}  // namespace
}  // namespace zarn
