#include "transfer/works/optimized_request_chunk_work.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "storage/shared_file.h"
#include "testing/http_test_server.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/exponential_normal_node_statistics.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/works/retryable_transfer_chunk_work.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "transfer/works/transfer_tree_fixture.h"

namespace zarn {
namespace {

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
  tree_test::LocalRig rig;
  auto wi = rig.Make("");
  wi->Data().nodeList = tree_test::MakeNodeList({"a", "b", "c"});
  const auto nodes = wi->Data().nodeList->GetNodes();
  auto chunk = TransferSharedMapData::Create(TransferSharedFileData::Create("f", 10), 0, 9, 0,
                                             wi->GetProgressUpdater());
  auto work = OptimizedRequestChunkWork::Create(wi, nullptr, chunk, 4);

  chunk->mismatchedNodes = {nodes[1]};
  work->Reset();  // as the chunk's sequence restarts after the mismatch
  EXPECT_EQ(work->GetParams().candidates,
            (std::vector<std::shared_ptr<NodeManifest>>{nodes[0], nodes[2]}));

  chunk->mismatchedNodes = nodes;  // every node failed: all stay candidates
  work->Reset();
  EXPECT_EQ(work->GetParams().candidates, nodes);
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
