#include "transfer/events/transfer_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "http/curl_http_request_factory.h"
#include "http/environment_http_proxy_factory.h"
#include "http/round_robin_http_session_factory.h"
#include "storage/path_helpers.h"
#include "storage/posix_shared_file_factory.h"
#include "telemetry/json_http_analytics_manager.h"
#include "telemetry/json_work_log_manager.h"
#include "testing/http_test_server.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_error_data.h"
#include "transfer/transfer_status_impl.h"
#include "transfer/transfer_work_interface.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

// Just enough of a transfer for its events: identity, behavior and node list.
class EventSource : public TransferWorkInterface {
 public:
  EventSource(const TransferParams& params, const TransferBehavior& behavior)
      : params_(params), behavior_(behavior) {}
  TransferParams CopyParams() override { return params_; }
  TransferParams& GetParams() override { return params_; }
  TransferBehavior& GetBehavior() override { return behavior_; }
  std::shared_ptr<PackageManifest> GetPackage() override { return nullptr; }
  std::shared_ptr<NodeListManifest> GetNodeList() override { return nodeList; }
  std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() override { return nullptr; }
  WorkCompleteCallback* GetWorkCompleteCallback() override { return nullptr; }
  WorkCompleteCallback* GetPackageAcquireCallback() override { return nullptr; }
  WorkCompleteCallback* GetNodeListAcquireCallback() override { return nullptr; }
  WorkCompleteCallback* GetInitializeCallback() override { return nullptr; }
  WorkflowRetryableErrorCallback* GetRetryableErrorCallback() override { return nullptr; }
  void TrackFile(const std::string&) override {}

  std::shared_ptr<NodeListManifest> nodeList;

 private:
  TransferParams params_;
  TransferBehavior behavior_;
};

struct Sent {
  std::vector<std::string> events;     // bodies posted to the events endpoint, sorted
  std::vector<std::string> transfers;  // bodies posted to the transfers endpoint, sorted
  std::vector<std::string> log;        // work-log lines without their time prefix
};

// Fires events through the real sinks: the analytics sink posts to two test servers, the
// work log writes below a private temporary folder. The sinks are built per firing and
// destroyed (drained) before what they sent is read.
class TransferEventTest : public ::testing::Test {
 protected:
  TransferEventTest()
      : logsFolder_("engine-events-" + std::to_string(std::random_device()()) + "/logs"),
        proxies_(0, 0, 0, 0, [](const std::string&) { return std::string(); }),
        requests_(&proxies_) {
    params_.transferId = "t1";
    params_.partnerId = "p1";
    params_.packageId = "k1";
    params_.versionId = "v1";
    params_.destPath = "/d";
    HttpTestResponse ok;
    eventsServer_.Serve("/", ok);
    transfersServer_.Serve("/", ok);
  }
  ~TransferEventTest() override {
    fs::remove_all(fs::path(GetTempFolder()) / fs::path(logsFolder_).parent_path());
  }

  // Builds the sinks, lets `fire` make and fire events from a source, drains the sinks.
  Sent Fire(const std::function<void(const std::shared_ptr<EventSource>&)>& fire) {
    const std::size_t eventsBefore = eventsServer_.RequestCount();
    const std::size_t transfersBefore = transfersServer_.RequestCount();
    {
      RoundRobinHttpSessionFactory sessions;
      JsonHttpAnalyticsManager analytics(&requests_, sessions.Create(), 5, 10, 1,
                                         eventsServer_.Host(), transfersServer_.Host());
      JsonWorkLogManager log(0xFFFFFFFFu, logsFolder_, &files_);
      TransferConfig config;
      TransferBehavior behavior(config);
      behavior.sharedFileFactory = &files_;
      behavior.analyticsManager = &analytics;
      behavior.logManager = &log;
      auto source = std::make_shared<EventSource>(params_, behavior);
      source->nodeList = nodeList_;
      fire(source);
    }
    Sent sent;
    sent.events = Bodies(eventsServer_, eventsBefore);
    sent.transfers = Bodies(transfersServer_, transfersBefore);
    sent.log = LogLines();
    fs::remove_all(fs::path(GetTempFolder()) / logsFolder_);
    return sent;
  }

  std::vector<std::string> Bodies(const HttpTestServer& server, std::size_t from) {
    std::vector<std::string> bodies;
    const auto requests = server.Requests();
    for (std::size_t i = from; i < requests.size(); ++i) {
      EXPECT_EQ(requests[i].method, "POST");
      EXPECT_EQ(requests[i].Header("Content-Type"), "application/json");
      bodies.push_back(requests[i].body);
    }
    std::sort(bodies.begin(), bodies.end());
    return bodies;
  }

  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const fs::path folder = fs::path(GetTempFolder()) / logsFolder_;
    if (!fs::exists(folder)) return lines;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path());
      for (std::string line; std::getline(in, line);) {
        const std::size_t json = line.find("] ");
        lines.push_back(json == std::string::npos ? line : line.substr(json + 2));
      }
    }
    return lines;
  }

  void UseNodes() {
    n1_ = std::make_shared<fakes::FakeNode>("n1:8080");
    n2_ = std::make_shared<fakes::FakeNode>("n2:8080");
    nodeList_ = std::make_shared<fakes::FakeNodeList>(NodeManifestList{n1_, n2_});
  }

  // The identity as the events write it, and a request's first members.
  const std::string ids_ = R"("pid":"p1","pkgid":"k1","vid":"v1")";
  const std::string logParams_ =
      R"("params":{"transferId":"t1","partnerId":"p1","packageId":"k1","versionId":"v1",)"
      R"("destPath":"\/d"}})";

  TransferParams params_;
  std::string logsFolder_;
  HttpTestServer eventsServer_;
  HttpTestServer transfersServer_;
  EnvironmentHttpProxyFactory proxies_;
  CurlHttpRequestFactory requests_;
  PosixSharedFileFactory files_;
  std::shared_ptr<fakes::FakeNode> n1_, n2_;
  std::shared_ptr<NodeListManifest> nodeList_;
};

TEST_F(TransferEventTest, CompleteReportsProgressThenCountWithNodes) {
  UseNodes();
  n1_->GetStatistics().Record(1000, 1500, false);
  TransferStatusImpl status(&params_, 10, 500);
  status.GetStatus().state = TransferState::Completed;
  status.AddDownloaded(4096);
  status.GetActiveTime().Add(2500);
  const Sent sent = Fire([&](const std::shared_ptr<EventSource>& source) {
    TransferCompleteEvent(source, status).Fire();
  });
  EXPECT_EQ(sent.transfers,
            std::vector<std::string>{"{" + ids_ +
                                     R"(,"tid":"t1","status":"completed","transferBytes":"4096",)"
                                     R"("duration":"2.5"})"
                                     "\n"});
  EXPECT_EQ(
      sent.events,
      std::vector<std::string>{
          "[{" + ids_ + R"(,"metrics":{"numCompletes":"1"},"dimensions":{}},)" + "{" + ids_ +
          R"(,"metrics":{"bytes":"1000","requestTime":"1.5"},)" +
          R"("dimensions":{"cdn":"n1:8080"}},)" + "{" + ids_ +
          R"(,"metrics":{"bytes":"0","requestTime":"0"},"dimensions":{"cdn":"n2:8080"}}])" + "\n"});
  EXPECT_EQ(sent.log, std::vector<std::string>{R"({"event":"Complete",)" + logParams_});
}

TEST_F(TransferEventTest, ConsecutiveReportsCarryOnlyWhatAccruedBetween) {
  UseNodes();
  TransferStatusImpl status(&params_, 10, 500);
  status.GetStatus().state = TransferState::Transferring;
  n1_->GetStatistics().Record(10, 100, false);
  status.AddDownloaded(10);
  status.GetActiveTime().Add(1000);
  const Sent sent = Fire([&](const std::shared_ptr<EventSource>& source) {
    TransferPeriodicEvent first(source, status);
    n1_->GetStatistics().Record(5, 200, false);
    status.AddDownloaded(5);
    status.GetActiveTime().Add(1);
    first.Fire();  // node deltas are taken when fired, status deltas when made
    TransferCancelEvent(source, status).Fire();
  });
  ASSERT_EQ(sent.transfers.size(), 2u);
  EXPECT_NE(sent.transfers[0].find(R"("status":"active","transferBytes":"10","duration":"1")"),
            std::string::npos)
      << sent.transfers[0];
  EXPECT_NE(sent.transfers[1].find(R"("status":"active","transferBytes":"5","duration":"0.001")"),
            std::string::npos)
      << sent.transfers[1];
  ASSERT_EQ(sent.events.size(), 2u);
  // The periodic array holds only the nodes: n1 with both records, the cancel's nothing.
  const std::string periodic = sent.events[0];  // sorted: "bytes" before "numCancels"
  const std::string cancel = sent.events[1];
  EXPECT_EQ(periodic.find("numCancels"), std::string::npos);
  EXPECT_NE(periodic.find(R"("bytes":"15","requestTime":"0.3"},"dimensions":{"cdn":"n1:8080"})"),
            std::string::npos)
      << periodic;
  EXPECT_NE(cancel.find("numCancels"), std::string::npos) << cancel;
  EXPECT_NE(cancel.find(R"("bytes":"0","requestTime":"0"},"dimensions":{"cdn":"n1:8080"})"),
            std::string::npos)
      << cancel;
  EXPECT_EQ(sent.log, std::vector<std::string>{R"({"event":"Cancel",)" + logParams_});
}

TEST_F(TransferEventTest, EventKindsPostWhatTheyShould) {
  struct Case {
    const char* label;
    std::function<void(const std::shared_ptr<EventSource>&, TransferStatusImpl&)> fire;
    std::vector<std::string> transfers;
    std::vector<std::string> events;
    std::vector<std::string> log;
  };
  const std::string active0 =
      "{" + ids_ + R"(,"tid":"t1","status":"active","transferBytes":"0","duration":"0"})" + "\n";
  const Case cases[] = {
      {"start",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferStartEvent(s).Fire();
       },
       {active0},
       {"{" + ids_ + R"(,"metrics":{"numStarts":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"Start",)" + logParams_}},
      {"restore",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferRestoreEvent(s).Fire();
       },
       {active0},
       {"{" + ids_ + R"(,"metrics":{"numRestores":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"Restore",)" + logParams_}},
      {"pause",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferPauseEvent(s).Fire();
       },
       {},
       {"{" + ids_ + R"(,"metrics":{"numPauses":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"Pause",)" + logParams_}},
      {"initialize",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferInitializeEvent(s).Fire();
       },
       {},
       {"{" + ids_ + R"(,"metrics":{"numInitializes":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"Initialize",)" + logParams_}},
      {"initialize complete",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferInitializeCompleteEvent(s).Fire();
       },
       {},
       {"{" + ids_ + R"(,"metrics":{"numInitializeCompletes":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"InitializeComplete",)" + logParams_}},
      {"resume",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferResumeEvent(s).Fire();
       },
       {},
       {"{" + ids_ + R"(,"metrics":{"numResumes":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"Resume",)" + logParams_}},
      {"retry",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl&) {
         TransferRetryEvent(s).Fire();
       },
       {},
       {"{" + ids_ + R"(,"metrics":{"numRetries":"1"},"dimensions":{}})" + "\n"},
       {R"({"event":"Retry",)" + logParams_}},
      {"fatal error before the node list, nothing accrued",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl& status) {
         TransferFatalErrorEvent(s, status, MakeTransferErrorData(TransferError::Internal, "boom"))
             .Fire();
       },
       {},
       {"[{" + ids_ +
        R"(,"metrics":{"numFatalErrors":"1"},"dimensions":{"error":"error|9|boom"}}])" + "\n"},
       {R"({"event":"FatalError",)" + logParams_}},
      {"retryable error with an empty text, after progress",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl& status) {
         status.AddDownloaded(3);
         TransferRetryableErrorEvent(s, status, nullptr).Fire();
       },
       {"{" + ids_ + R"(,"tid":"t1","status":"active","transferBytes":"3","duration":"0"})" + "\n"},
       {"[{" + ids_ + R"(,"metrics":{"numRetryableErrors":"1"},"dimensions":{}}])" + "\n"},
       {R"({"event":"RetryableError",)" + logParams_}},
      {"periodic without a node list",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl& status) {
         TransferPeriodicEvent(s, status).Fire();
       },
       {active0},
       {"[]\n"},
       {}},
      {"suspend whatever the status holds",
       [](const std::shared_ptr<EventSource>& s, TransferStatusImpl& status) {
         status.GetStatus().state = TransferState::Transferring;
         TransferSuspendEvent(s, status).Fire();
       },
       {"{" + ids_ + R"(,"tid":"t1","status":"suspended","transferBytes":"0","duration":"0"})" +
        "\n"},
       {"[{" + ids_ + R"(,"metrics":{"numSuspends":"1"},"dimensions":{}}])" + "\n"},
       {R"({"event":"Suspend",)" + logParams_}},
  };
  for (const Case& c : cases) {
    TransferStatusImpl status(&params_, 10, 500);
    const Sent sent =
        Fire([&](const std::shared_ptr<EventSource>& source) { c.fire(source, status); });
    EXPECT_EQ(sent.transfers, c.transfers) << c.label;
    EXPECT_EQ(sent.events, c.events) << c.label;
    EXPECT_EQ(sent.log, c.log) << c.label;
  }
}

}  // namespace
}  // namespace zarn
