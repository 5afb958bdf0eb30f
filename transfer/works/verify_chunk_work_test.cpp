// The steps of one chunk over a real file: map, prefetch, verify, release.

#include "transfer/works/verify_chunk_work.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "storage/crc32.h"
#include "storage/memory_mapped_file_data.h"
#include "storage/shared_file.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer_error_data.h"
#include "transfer/transfer_status_data.h"
#include "transfer/works/checksum_status_data.h"
#include "transfer/works/create_chunk_map_work.h"
#include "transfer/works/mutex_prefetch_chunk_work.h"
#include "transfer/works/optimized_request_chunk_work.h"
#include "transfer/works/release_chunk_map_work.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "transfer/works/transfer_single_chunk_work.h"

namespace zarn {
namespace {

class ChunkStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wi_ = rig_.Make(folder_.Path());
    wi_->Data().nodeList = tree_test::MakeNodeList({"127.0.0.1:1"});
    file_ = TransferSharedFileData::Create("f.bin", content_.size());
    std::shared_ptr<SharedFile> shared = rig_.Files().Create(
        folder_.Path(), "f.bin", SharedFileOpenMode::OpenAlways, 0, content_.size() - 1);
    shared->Write(content_.data(), content_.size());
    file_->sharedFile = shared;
  }

  std::shared_ptr<TransferSharedMapData> Chunk(uint64_t lower, uint64_t upper, uint32_t crc) {
    return TransferSharedMapData::Create(file_, lower, upper, crc, wi_->GetProgressUpdater());
  }

  std::string ErrorMessage(const WorkStatus& status) {
    const auto data = std::dynamic_pointer_cast<TransferErrorData>(status.data);
    if (!data) return "(not a TransferErrorData)";
    EXPECT_EQ(data->ToTransferError(), TransferError::Internal);
    return data->ToString();
  }

  const std::string content_ = "0123456789";
  tree_test::TempFolder folder_;
  tree_test::LocalRig rig_;
  std::shared_ptr<tree_test::TestTransferWorkInterface> wi_;
  std::shared_ptr<TransferSharedFileData> file_;
};

TEST_F(ChunkStepsTest, ChunkAlreadyOnDiskCountsAsCompletedAndVerified) {
  const auto chunk = Chunk(4, 7, Crc32("4567", 4));
  EXPECT_EQ(CreateChunkMapWork::Create(wi_, chunk)->Run().result, WorkResult::Success);
  EXPECT_EQ(MutexPrefetchChunkWork::Create(wi_, chunk)->Run().result, WorkResult::Success);
  EXPECT_EQ(VerifyChunkWork::Create(wi_, chunk)->Run().result, WorkResult::Success);
  const TransferStatus status = wi_->Snapshot();
  EXPECT_EQ(status.completedBytes, 4u);
  EXPECT_EQ(status.verifiedBytes, 4u);
  EXPECT_EQ(status.downloadedBytes, 0u);
  EXPECT_EQ(ReleaseChunkMapWork::Create(wi_, chunk)->Run().result, WorkResult::Success);
  EXPECT_EQ(chunk->view, nullptr);
}

TEST_F(ChunkStepsTest, MismatchFailsWithTheComputedChecksum) {
  const auto chunk = Chunk(8, 9, 0x1234);
  CreateChunkMapWork::Create(wi_, chunk)->Run();
  chunk->fileProgressBytes = 2;
  wi_->GetProgressUpdater()->AddCompleted(2);
  const auto node = wi_->Data().nodeList->GetNodes().front();
  chunk->servedBy = node;  // the node whose body is in the view
  const WorkStatus status = VerifyChunkWork::Create(wi_, chunk)->Run();
  EXPECT_EQ(chunk->mismatchedNodes, std::vector<std::shared_ptr<NodeManifest>>{node});
  EXPECT_EQ(chunk->servedBy, nullptr);
  EXPECT_EQ(status.result, WorkResult::Failure);
  const auto payload = std::dynamic_pointer_cast<ChecksumStatusData>(status.data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->actualChecksum, Crc32("89", 2));
  EXPECT_EQ(chunk->fileProgressBytes, 0u);
  EXPECT_EQ(wi_->Snapshot().completedBytes, 0u);
  EXPECT_EQ(wi_->Snapshot().verifiedBytes, 0u);
}

TEST_F(ChunkStepsTest, MissingFileOrViewEndsWithInternalError) {
  const auto chunk = Chunk(0, 3, 0);
  EXPECT_EQ(ErrorMessage(MutexPrefetchChunkWork::Create(wi_, chunk)->Run()),
            "error|9|MutexPrefetchChunkWork::ExecuteTask has no shared map");
  EXPECT_EQ(ErrorMessage(VerifyChunkWork::Create(wi_, chunk)->Run()),
            "error|9|VerifyChunkWork::ExecuteTask has no shared map");
  EXPECT_EQ(ErrorMessage(OptimizedRequestChunkWork::Create(wi_, nullptr, chunk, 4)->Run()),
            "error|9|OptimizedRequestChunkWork::ExecuteTask has no shared map");
  file_->sharedFile.reset();
  EXPECT_EQ(ErrorMessage(CreateChunkMapWork::Create(wi_, chunk)->Run()),
            "error|9|CreateChunkMapWork::ExecuteTask has no shared file");
}

TEST_F(ChunkStepsTest, MapBeyondTheFileIsAFileError) {
  const auto chunk = Chunk(8, 15, 0);  // the file has 10 bytes
  const WorkStatus status = CreateChunkMapWork::Create(wi_, chunk)->Run();
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(payload->ToTransferError(), TransferError::Internal);  // out of bounds
}

TEST_F(ChunkStepsTest, ChunkResetForgetsItsBytesWithoutTouchingTheCounters) {
  const auto work = TransferSingleChunkWork::Create(wi_, nullptr, file_, 0, 3, 0);
  const auto& chunk = work->GetMapData();
  chunk->view = file_->sharedFile->Map(0, 3);
  chunk->fileProgressBytes = 3;
  wi_->GetProgressUpdater()->AddCompleted(3);
  work->Reset();
  EXPECT_EQ(chunk->fileProgressBytes, 0u);
  EXPECT_EQ(chunk->view, nullptr);
  EXPECT_EQ(wi_->Snapshot().completedBytes, 3u);
  work->ReleaseMap();  // releasing an empty view changes nothing
  EXPECT_EQ(chunk->view, nullptr);
}

}  // namespace
}  // namespace zarn
