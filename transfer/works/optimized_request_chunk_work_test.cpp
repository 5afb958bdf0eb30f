#include "transfer/works/optimized_request_chunk_work.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "storage/crc32.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/shared_file.h"
#include "testing/http_test_server.h"
#include "transfer/http_transfer_status_data.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/exponential_normal_node_statistics.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/retryable_transfer_chunk_work.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "transfer/works/transfer_single_chunk_work.h"
#include "work/standard_workflow.h"
#include "work/testing/manual_work_manager.h"

namespace zarn {
namespace {

using fakes::ScriptedAnswer;

// One chunk of a real, allocated file whose requests are answered from a script, with the
// real optimizer and default settings. Node hosts are n0, n1, ...
class ScriptedChunkRig {
 public:
  static constexpr uint32_t kChunkSize = 1000;

  ScriptedChunkRig(std::vector<ScriptedAnswer> script, std::size_t nodes)
      : requests_(std::move(script)), config_(2), optimizer_(config_, 12345u), behavior_(config_) {
    behavior_.requestFactory = &requests_;
    behavior_.sharedFileFactory = &files_;
    behavior_.optimizer = &optimizer_;
    behavior_.logManager = &log_;
    TransferParams params;
    params.partnerId = "p";
    params.packageId = "k";
    params.versionId = "v";
    params.destPath = folder_.Path();
    wi_ = std::make_shared<tree_test::TestTransferWorkInterface>(params, behavior_);
    std::vector<std::string> hosts;
    for (std::size_t i = 0; i < nodes; ++i) hosts.push_back("n" + std::to_string(i));
    wi_->Data().nodeList = tree_test::MakeNodeList(hosts);
    file_ = TransferSharedFileData::Create("f", kChunkSize);
    file_->sharedFile =
        files_.Create(folder_.Path(), "f", SharedFileOpenMode::OpenAlways, 0, kChunkSize - 1);
    file_->sharedFile->Allocate(kChunkSize);
  }

  // The chunk's shared data with its view mapped, as the map step leaves it.
  std::shared_ptr<TransferSharedMapData> MappedChunk() {
    auto chunk =
        TransferSharedMapData::Create(file_, 0, kChunkSize - 1, 0, wi_->GetProgressUpdater());
    chunk->view = file_->sharedFile->Map(0, kChunkSize - 1);
    return chunk;
  }

  // Gives every node the two samples after which the optimizer no longer probes it, so
  // that no attempt is a free probe.
  void TryEveryNode() {
    ProportionalGamblingTransferOptimizer::StatisticsList statistics;
    optimizer_.GatherStatistics(Nodes(), statistics);
    for (const auto& s : statistics) {
      for (int i = 0; i < 2; ++i) s->Record(kChunkSize, 10, false);
    }
  }

  uint32_t OptimizerSamples(const std::shared_ptr<NodeManifest>& node) {
    ProportionalGamblingTransferOptimizer::StatisticsList statistics;
    optimizer_.GatherStatistics({node}, statistics);
    return statistics.front()->GetCount();
  }

  const NodeManifestList& Nodes() const { return wi_->Data().nodeList->GetNodes(); }
  std::shared_ptr<tree_test::TestTransferWorkInterface> Interface() { return wi_; }
  std::shared_ptr<TransferSharedFileData> File() { return file_; }
  fakes::ScriptedHttpRequestFactory& Requests() { return requests_; }
  fakes::RecordingLog& Log() { return log_; }

 private:
  tree_test::TempFolder folder_;
  fakes::ScriptedHttpRequestFactory requests_;
  PosixSharedFileFactory files_;
  TransferConfig config_;
  ProportionalGamblingTransferOptimizer optimizer_;
  fakes::RecordingLog log_;
  TransferBehavior behavior_;
  std::shared_ptr<tree_test::TestTransferWorkInterface> wi_;
  std::shared_ptr<TransferSharedFileData> file_;
};

// Every request result, including one outside the enumeration, decides the attempt's work
// result, whether the node counts it as failed and leaves the chunk's candidates, and
// whether the optimizer learns of it.
TEST(OptimizedRequestChunkWorkTest, RequestResultDecidesTheAttempt) {
  const struct {
    int result;
    WorkResult work;
    bool failed;    // counted as a node error, and the node leaves the candidates
    bool recorded;  // reported to the optimizer
  } cases[] = {
      {0, WorkResult::Error, false, false},          // Idle
      {1, WorkResult::Error, false, false},          // Running
      {2, WorkResult::Success, false, true},         // Succeeded
      {3, WorkResult::Cancelled, false, false},      // Cancelled
      {4, WorkResult::RetryableError, true, true},   // BadUrl
      {5, WorkResult::RetryableError, true, true},   // ResolveFailed
      {6, WorkResult::RetryableError, true, true},   // ConnectFailed
      {7, WorkResult::RetryableError, true, true},   // ClientError
      {8, WorkResult::RetryableError, true, true},   // ServerError
      {9, WorkResult::RetryableError, true, true},   // NetworkError
      {10, WorkResult::RetryableError, true, true},  // WriteFailed
      {11, WorkResult::RetryableError, true, true},  // RangeError
      {12, WorkResult::RetryableError, true, true},  // TimedOut
      {13, WorkResult::Error, true, false},          // OutOfMemory
      {14, WorkResult::RetryableError, true, true},  // OtherError
      {255, WorkResult::Error, true, false},         // unknown
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    ScriptedChunkRig rig({{static_cast<HttpRequestResult>(c.result), "", ""}}, 2);
    auto work = OptimizedRequestChunkWork::Create(rig.Interface(), nullptr, rig.MappedChunk(), 4);
    work->Reset();
    const WorkStatus status = work->ExecuteTask();

    EXPECT_EQ(status.result, c.work);
    const auto payload = std::dynamic_pointer_cast<HttpTransferStatusData>(status.data);
    ASSERT_NE(payload, nullptr);
    const OptimizedRequestParams& params = work->GetParams();
    const std::shared_ptr<NodeManifest> node = params.SelectedNode;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetStatistics().GetErrors(), c.failed ? 1u : 0u);
    EXPECT_EQ(node->GetStatistics().GetSuccesses(), c.failed ? 0u : 1u);
    if (c.work == WorkResult::RetryableError) {  // another attempt may follow
      EXPECT_EQ(params.candidates,
                NodeManifestList{rig.Nodes()[0] == node ? rig.Nodes()[1] : rig.Nodes()[0]});
    } else {  // the work has ended: it keeps no copy of the node list
      EXPECT_TRUE(params.candidates.empty());
    }
    EXPECT_EQ(rig.OptimizerSamples(node), c.recorded ? 1u : 0u);
    EXPECT_EQ(work->GetCurrentRequest(), nullptr);
  }
}

// A time-out that still brought bytes does not use up a retry while the low-speed time
// can grow; at its longest (60 s), or without a byte, it does. The low-speed time follows
// the errors of the least-failing node: 3 errors give 40 s, 4 give 60 s.
TEST(OptimizedRequestChunkWorkTest, TimeOutAfterSomeBytesIsAFreeRetryBelowTheLongestWait) {
  const struct {
    int nodeErrors;
    const char* body;
    int32_t lowSpeedTime;
    bool free;
  } cases[] = {
      {3, "some bytes", 40, true},
      {4, "some bytes", 60, false},
      {3, "", 40, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodeErrors);
    SCOPED_TRACE(c.body);
    // No counted retry allowed: only a free one lets a second attempt happen.
    auto make = [&](ScriptedChunkRig& rig) {
      for (int i = 0; i < c.nodeErrors; ++i) rig.Nodes()[0]->GetStatistics().Record(0, 1, true);
      auto work = OptimizedRequestChunkWork::Create(rig.Interface(), nullptr, rig.MappedChunk(), 0);
      work->Reset();
      return work;
    };
    const std::vector<ScriptedAnswer> script = {
        {HttpRequestResult::TimedOut, c.body, ""},
        {HttpRequestResult::Succeeded, std::string(ScriptedChunkRig::kChunkSize, 'x'), ""}};

    ScriptedChunkRig one(script, 1);
    auto attempt = make(one);
    ASSERT_EQ(attempt->ExecuteTask().result, WorkResult::RetryableError);
    EXPECT_EQ(attempt->GetParams().lowSpeedTime, c.lowSpeedTime);
    EXPECT_EQ(attempt->GetParams().FreeRetry, c.free ? 1 : 0);

    ScriptedChunkRig run(script, 1);
    EXPECT_EQ(make(run)->Run().result, c.free ? WorkResult::Success : WorkResult::RetryableError);
    EXPECT_EQ(run.Requests().Performs(), c.free ? 2u : 1u);
    EXPECT_EQ(run.Log().retries, c.free ? 1 : 0);
  }
}

// A free retry leaves the counted ones alone: with one counted retry, a time-out after some
// bytes and then a server error still leave room for the attempt that succeeds.
TEST(OptimizedRequestChunkWorkTest, AFreeRetryDoesNotUseUpACountedOne) {
  ScriptedChunkRig rig({{HttpRequestResult::TimedOut, "some bytes", ""},
                        {HttpRequestResult::ServerError, "", ""},
                        {HttpRequestResult::Succeeded, std::string(1000, 'x'), ""}},
                       2);
  rig.TryEveryNode();
  auto work = OptimizedRequestChunkWork::Create(rig.Interface(), nullptr, rig.MappedChunk(), 1);
  work->Reset();
  EXPECT_EQ(work->Run().result, WorkResult::Success);
  EXPECT_EQ(rig.Requests().Performs(), 3u);
  EXPECT_EQ(rig.Log().retries, 2);
}

// A failed node is not asked again for the chunk until every other node has failed too.
TEST(OptimizedRequestChunkWorkTest, EachRetryGoesToANodeThatHasNotFailedYet) {
  ScriptedChunkRig rig({{HttpRequestResult::ServerError, "", ""}}, 3);
  rig.TryEveryNode();
  auto work = OptimizedRequestChunkWork::Create(rig.Interface(), nullptr, rig.MappedChunk(), 4);
  work->Reset();
  EXPECT_EQ(work->Run().result, WorkResult::RetryableError);
  const std::vector<std::string> urls = rig.Requests().Urls();
  ASSERT_EQ(urls.size(), 5u);
  // The first three attempts meet three different nodes; then all are candidates again.
  const std::set<std::string> firstRound(urls.begin(), urls.begin() + 3);
  EXPECT_EQ(firstRound.size(), 3u);
  EXPECT_NE(urls[3], urls[4]);
}

// The budgets of the whole chunk: a request work may retry max(nodes - 1, 4) times, every
// retry logged; a chunk whose downloads never verify is downloaded 1 + 4 times.
TEST(OptimizedRequestChunkWorkTest, TheChunksBudgetsFollowTheNodeCount) {
  const struct {
    std::size_t nodes;
    ScriptedAnswer answer;
    std::size_t attempts;
    int loggedRetries;
    TransferError error;
  } cases[] = {
      {3, {HttpRequestResult::ConnectFailed, "", ""}, 5, 4, TransferError::Network},
      {8, {HttpRequestResult::ConnectFailed, "", ""}, 8, 7, TransferError::Network},
      // Bodies of the right length that never match the checksum.
      {1,
       {HttpRequestResult::Succeeded, std::string(1000, 'x'), ""},
       5,
       0,
       TransferError::Checksum},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodes);
    ScriptedChunkRig rig({c.answer}, c.nodes);
    rig.TryEveryNode();
    const std::string wanted(ScriptedChunkRig::kChunkSize, 'w');
    auto chunk = TransferSingleChunkWork::Create(rig.Interface(), nullptr, rig.File(), 0,
                                                 ScriptedChunkRig::kChunkSize - 1,
                                                 Crc32(wanted.data(), wanted.size()));
    ManualWorkManager manager;
    auto workflow = MakeStandardWorkflow(&manager, chunk, 4);
    workflow->AddRetryableErrorCallback(rig.Interface().get());
    ASSERT_TRUE(workflow->Start());
    manager.RunAll();

    EXPECT_EQ(rig.Requests().Performs(), c.attempts);
    EXPECT_EQ(rig.Log().retries, c.loggedRetries);
    EXPECT_TRUE(workflow->IsRetryPending());
    const auto status = rig.Interface()->RetryableStatus();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->result, WorkResult::RetryableError);
    const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status->data);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(payload->ToTransferError(), c.error);
    workflow->Pause();
    manager.RunAll();
  }
}

TEST(OptimizedRequestChunkWorkTest, RecordedTimeIsClampedToTheRequestLimit) {
  const struct {
    uint64_t elapsedMs;
    uint32_t connect, timeout;
    uint32_t recorded;
  } cases[] = {
      {0, 3, 10, 0},
      {13000, 3, 10, 13000},
      {13999, 3, 10, 13999},  // up to 999 ms beyond the limit pass unchanged
      {14000, 3, 10, 13000},
      {1000000, 3, 10, 13000},
      {uint64_t{1} << 40, 2, 2147483, 2147485000u},  // 64-bit sum, no wrap
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OptimizedRequestChunkWork::ClampRequestTime(c.elapsedMs, c.connect, c.timeout),
              c.recorded)
        << c.elapsedMs;
  }
}

TEST(OptimizedRequestChunkWorkTest, RequestLimitLetsEveryOtherNodeBeTriedOnce) {
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(1, 4), 4u);
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(3, 4), 4u);
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(8, 4), 7u);
  EXPECT_EQ(RetryableTransferChunkWork::RequestLimitFor(0, 4), 4u);
}

TEST(OptimizedRequestChunkWorkTest, DownloadsAfterAChecksumMismatchAvoidTheNodeThatServedIt) {
  ScriptedChunkRig rig({{HttpRequestResult::ServerError, "", ""}}, 3);
  rig.TryEveryNode();
  const NodeManifestList nodes = rig.Nodes();
  auto chunk = rig.MappedChunk();
  auto work = OptimizedRequestChunkWork::Create(rig.Interface(), nullptr, chunk, 4);
  // The candidates after one failed attempt: the mismatched nodes were never among them.
  auto leftAfterOneAttempt = [&] {
    work->Reset();  // as the chunk's sequence restarts after the mismatch
    EXPECT_EQ(work->ExecuteTask().result, WorkResult::RetryableError);
    NodeManifestList left = work->GetParams().candidates;
    left.push_back(work->GetParams().SelectedNode);
    std::sort(left.begin(), left.end());
    return left;
  };

  chunk->mismatchedNodes = {nodes[1]};
  NodeManifestList expected = {nodes[0], nodes[2]};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(leftAfterOneAttempt(), expected);

  chunk->mismatchedNodes = nodes;  // every node failed: all stay candidates
  expected = nodes;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(leftAfterOneAttempt(), expected);
}

// A package's chunk works are all made, and reset, when its tree is built and started; with
// a long node list, a copy per waiting or finished chunk would exhaust memory. Only a work
// in the middle of its attempts holds the candidates.
TEST(OptimizedRequestChunkWorkTest, OnlyAWorkBetweenAttemptsHoldsACopyOfTheNodeList) {
  ScriptedChunkRig rig({{HttpRequestResult::ConnectFailed, "", ""},
                        {HttpRequestResult::Succeeded, std::string(1000, 'w'), ""}},
                       50);
  rig.TryEveryNode();
  const std::shared_ptr<NodeManifest> node = rig.Nodes().back();
  const long idle = node.use_count();
  std::vector<std::shared_ptr<OptimizedRequestChunkWork>> works;
  for (int i = 0; i < 100; ++i) {
    works.push_back(
        OptimizedRequestChunkWork::Create(rig.Interface(), nullptr, rig.MappedChunk(), 4));
    works.back()->Reset();
  }
  EXPECT_EQ(node.use_count(), idle) << "made and reset";

  auto& work = works.front();
  ASSERT_EQ(work->ExecuteTask().result, WorkResult::RetryableError);
  EXPECT_EQ(work->GetParams().candidates.size(), 49u) << "between attempts";
  ASSERT_EQ(work->ExecuteTask().result, WorkResult::Success);
  EXPECT_TRUE(work->GetParams().candidates.empty()) << "done";

  ScriptedChunkRig failing({{HttpRequestResult::ConnectFailed, "", ""}}, 50);
  auto last =
      OptimizedRequestChunkWork::Create(failing.Interface(), nullptr, failing.MappedChunk(), 4);
  last->Reset();
  EXPECT_EQ(last->Run().result, WorkResult::RetryableError);
  EXPECT_TRUE(last->GetParams().candidates.empty()) << "out of retries";
}

TEST(OptimizedRequestChunkWorkTest, ACancelBeforeTheRequestIsCurrentStillCancelsIt) {
  tree_test::TempFolder folder;
  tree_test::TransferTreeRig rig;
  HttpTestServer node;
  node.ServeFile("/packages/p/k/v/f", "0123456789");
  TransferParams params;
  params.partnerId = "p";
  params.packageId = "k";
  params.versionId = "v";
  auto wi = std::make_shared<tree_test::TestTransferWorkInterface>(params, rig.Behavior());
  wi->Data().nodeList = tree_test::MakeNodeList({node.Host()});
  auto file = TransferSharedFileData::Create("f", 10);
  file->sharedFile = rig.Behavior().sharedFileFactory->Create(folder.Path(), "f",
                                                              SharedFileOpenMode::OpenAlways, 0, 9);
  file->sharedFile->Allocate(10);
  auto chunk = TransferSharedMapData::Create(file, 0, 9, 0, wi->GetProgressUpdater());
  chunk->view = file->sharedFile->Map(0, 9);
  auto work = OptimizedRequestChunkWork::Create(wi, nullptr, chunk, 4);
  work->Reset();

  work->SetCancelled();  // the workflow paused while the attempt was being set up
  const WorkStatus status = work->ExecuteTask();
  EXPECT_EQ(status.result, WorkResult::Cancelled);
  EXPECT_EQ(node.RequestCount(), 0u);
  EXPECT_EQ(work->GetCurrentRequest(), nullptr);
  // Counted in the node's own statistics as not failed, but not reported to the optimizer.
  const auto& target = wi->Data().nodeList->GetNodes().front();
  EXPECT_EQ(target->GetStatistics().GetSuccesses(), 1u);
  EXPECT_EQ(target->GetStatistics().GetErrors(), 0u);
  ProportionalGamblingTransferOptimizer::StatisticsList statistics;
  rig.Optimizer().GatherStatistics({target}, statistics);
  EXPECT_EQ(statistics.front()->GetCount(), 0u);
}

}  // namespace
}  // namespace zarn
