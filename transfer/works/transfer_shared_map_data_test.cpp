#include "transfer/works/transfer_shared_map_data.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <string>
#include <vector>

#include "storage/memory_mapped_file_data.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/shared_file.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer_progress_updater.h"
#include "transfer/works/checksum_status_data.h"
#include "transfer/works/transfer_shared_file_data.h"

namespace zarn {
namespace {

struct CountingProgress : TransferProgressUpdater {
  void AddCompleted(const uint64_t& n) override { completed += n; }
  void SubtractCompleted(const uint64_t& n) override { completed -= n; }
  void AddVerified(const uint64_t& n) override { verified += n; }
  void AddDownloaded(const uint64_t& n) override { downloaded += n; }
  uint64_t completed = 0, verified = 0, downloaded = 0;
};

class TransferSharedMapDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = TransferSharedFileData::Create("chunks.bin", 100);
    file_->sharedFile =
        files_.Create(folder_.Path(), "chunks.bin", SharedFileOpenMode::OpenAlways, 0, 99);
    file_->sharedFile->Allocate(100);
    map_ = TransferSharedMapData::Create(file_, 40, 59, 0xABCD, progress_);
  }

  tree_test::TempFolder folder_;
  PosixSharedFileFactory files_;
  std::shared_ptr<CountingProgress> progress_ = std::make_shared<CountingProgress>();
  std::shared_ptr<TransferSharedFileData> file_;
  std::shared_ptr<TransferSharedMapData> map_;
};

TEST_F(TransferSharedMapDataTest, CommitSetsTheChunkToExactlyItsLength) {
  const struct {
    uint64_t counted;  // what the chunk had counted before the verification
  } cases[] = {{0}, {7}, {20}, {33}};
  for (const auto& c : cases) {
    CountingProgress& p = *progress_;
    p = CountingProgress();
    p.completed = 1000 + c.counted;  // other chunks' bytes, plus this chunk's
    map_->fileProgressBytes = c.counted;
    map_->CommitProgress();
    EXPECT_EQ(p.completed, 1000u + 20u) << c.counted;
    EXPECT_EQ(p.verified, 20u);
    EXPECT_EQ(map_->fileProgressBytes, 20u);
  }
}

TEST_F(TransferSharedMapDataTest, WithdrawRewindsTheViewAndTakesTheBytesBack) {
  map_->fileProgressBytes = 5;
  progress_->completed = 5;
  map_->WithdrawProgress();  // no view yet: nothing at all changes
  EXPECT_EQ(map_->fileProgressBytes, 5u);
  EXPECT_EQ(progress_->completed, 5u);

  map_->view = file_->sharedFile->Map(40, 59);
  map_->view->Write("abcde", 5);
  map_->WithdrawProgress();
  EXPECT_EQ(map_->view->Tell(), 40u);
  EXPECT_EQ(map_->fileProgressBytes, 0u);
  EXPECT_EQ(progress_->completed, 0u);
}

TEST_F(TransferSharedMapDataTest, DescribesTheChunkWithAHexadecimalChecksum) {
  map_->fileProgressBytes = 3;
  boost::property_tree::ptree tree;
  map_->Describe(tree);
  std::vector<std::pair<std::string, std::string>> keys;
  for (const auto& child : tree) keys.emplace_back(child.first, child.second.data());
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"filePath", "chunks.bin"}, {"fileSize", "100"},          {"lowerBound", "40"},
      {"upperBound", "59"},       {"expectedChecksum", "abcd"}, {"fileProgressBytes", "3"}};
  EXPECT_EQ(keys, expected);
}

TEST(ChecksumStatusDataTest, CarriesTheComputedValueAsChecksumError) {
  const auto payload = ChecksumStatusData::Create(0x12);
  EXPECT_EQ(payload->ToTransferError(), TransferError::Checksum);
  EXPECT_EQ(payload->ToString(), "error|6");
  boost::property_tree::ptree tree;
  payload->Describe(tree);
  EXPECT_EQ(tree.get<std::string>("actualChecksum"), "12");
}

}  // namespace
}  // namespace zarn
