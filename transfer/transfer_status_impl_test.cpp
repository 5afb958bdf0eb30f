#include "transfer/transfer_status_impl.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <limits>
#include <memory>

#include "storage/testing/scoped_fake_clock.h"
#include "transfer/manifest/file_manifest.h"
#include "transfer/manifest/standard_package_manifest.h"
#include "transfer/manifest/xml_manifest_tree.h"
#include "transfer/transfer_params.h"

namespace zarn {
namespace {

// A package of one file of totalBytes bytes, which is its run file.
std::shared_ptr<PackageManifest> MakePackage(uint64_t totalBytes) {
  std::string checksums;
  for (uint32_t i = 0; i < GetChunkCount(0xFFFFFFFFu, totalBytes); ++i) checksums += "00000000";
  const std::string xml(
      "<package><id>P</id><name>N</name><partnerId>R</partnerId><versionId>1</versionId>"
      "<run>run.exe</run><files><file><path>run.exe</path><chunksize>4294967295</chunksize>"
      "<size>" +
      std::to_string(totalBytes) + "</size><checksums>" + checksums +
      "</checksums>"
      "</file></files></package>");
  boost::property_tree::ptree tree;
  ParseXmlManifest(xml, tree);
  auto package = std::make_shared<StandardPackageManifest>();
  package->Read(tree);
  return package;
}

class TransferStatusImplTest : public ::testing::Test {
 protected:
  TransferStatusImplTest() {
    params_.transferId = "t1";
    params_.partnerId = "partner";
    status_.SetPackage(MakePackage(10000));
  }

  void SetState(TransferState state, TransferError error = TransferError::None,
                uint8_t retryable = 0) {
    status_.GetStatus().state = state;
    status_.GetStatus().error = error;
    status_.GetStatus().retryable = retryable;
  }

  // Advances the clock, counts bytes as downloaded and completed, and takes a snapshot.
  TransferStatus After(uint32_t ms, uint64_t bytes = 0) {
    clock_.Advance(ms);
    status_.AddDownloaded(bytes);
    status_.AddCompleted(bytes);
    return status_.GetSnapshot();
  }

  ScopedFakeClock clock_{1000};
  TransferParams params_;
  TransferStatusImpl status_{&params_, 10, 500};
};

TEST_F(TransferStatusImplTest, FreshSnapshot) {
  params_.versionId = "9";  // the params are read at each snapshot
  const TransferStatus s = status_.GetSnapshot();
  EXPECT_EQ(s.transferId, "t1");
  EXPECT_EQ(s.partnerId, "partner");
  EXPECT_EQ(s.versionId, "9");
  EXPECT_EQ(s.state, TransferState::Initializing);
  EXPECT_EQ(s.error, TransferError::None);
  EXPECT_EQ(s.runFile, "");
  EXPECT_EQ(s.totalBytes, 10000u);
  EXPECT_EQ(s.downloadedBytes + s.completedBytes + s.verifiedBytes + s.bytesPerSecond, 0u);
  EXPECT_EQ(s.secondsRemaining, -1);
}

TEST_F(TransferStatusImplTest, RateOverTheWindow) {
  SetState(TransferState::Transferring);
  EXPECT_EQ(After(0).bytesPerSecond, 0u);  // one sample
  // 600 bytes over 2 s are divided by the whole 10 s window.
  EXPECT_EQ(After(2000, 600).bytesPerSecond, 60u);

  // One sample a second at 100 B/s: the window keeps samples younger than 10 whole seconds.
  for (int i = 0; i < 20; ++i) After(1000, 100);
  EXPECT_EQ(After(1000, 100).bytesPerSecond, 90u);  // 900 bytes over 9 s, divided by 10

  // Polled every 30 s: two samples always remain, 30 s apart.
  After(30000, 3000);
  EXPECT_EQ(After(30000, 3000).bytesPerSecond, 100u);
}

TEST_F(TransferStatusImplTest, PausedTransferDecaysAndStopsTheClock) {
  SetState(TransferState::Transferring);
  After(0);
  After(1000, 1000);
  const uint64_t active = status_.GetActiveTime().GetValue();
  EXPECT_EQ(active, 1000u);
  SetState(TransferState::Paused);
  for (int i = 0; i < 12; ++i) After(1000);
  const TransferStatus paused = After(1000);
  EXPECT_EQ(paused.bytesPerSecond, 0u);  // the window filled with equal counts
  EXPECT_EQ(status_.GetActiveTime().GetValue(), active);
  // The first active snapshot after the pause does not count the interval before it.
  SetState(TransferState::Transferring);
  After(5000, 100);
  EXPECT_EQ(status_.GetActiveTime().GetValue(), active);
  After(100, 100);
  EXPECT_EQ(status_.GetActiveTime().GetValue(), active + 100);
}

TEST_F(TransferStatusImplTest, EstimateAfterHalfASecondOfActiveTime) {
  SetState(TransferState::Transferring);
  EXPECT_EQ(After(0).secondsRemaining, -1);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(After(100, 100).secondsRemaining, -1) << i;
  // 500 ms for 500 bytes, 9500 bytes left: ceil(9.5).
  EXPECT_EQ(After(100, 100).secondsRemaining, 10);
  // Renewed only every 500 ms of active time.
  for (int i = 6; i < 10; ++i) EXPECT_EQ(After(100, 100).secondsRemaining, 10) << i;
  EXPECT_EQ(After(100, 100).secondsRemaining, 9);  // 1000 ms, 9000 bytes left

  // Outside Transferring the estimate follows the frozen active time on every snapshot.
  status_.AddCompleted(9000);
  SetState(TransferState::Completed);
  const TransferStatus done = After(100);
  EXPECT_EQ(done.secondsRemaining, 0);
  EXPECT_EQ(done.runFile, "run.exe");
}

TEST_F(TransferStatusImplTest, NoEstimateWhenNothingWasDownloaded) {
  SetState(TransferState::Transferring);
  status_.AddCompleted(10000);
  status_.AddVerified(10000);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(After(100).secondsRemaining, -1);
  SetState(TransferState::Completed);
  EXPECT_EQ(After(100).secondsRemaining, -1);
  EXPECT_EQ(status_.GetActiveTime().GetValue(), 0u);
}

TEST_F(TransferStatusImplTest, HugeEstimateIsClamped) {
  status_.SetPackage(MakePackage(uint64_t{1} << 40));
  SetState(TransferState::Transferring);
  After(0, 1);
  // One byte in 3000 s with a terabyte left: far beyond what an i32 holds.
  EXPECT_EQ(After(3000000).secondsRemaining, std::numeric_limits<int32_t>::max());
}

TEST_F(TransferStatusImplTest, IntervalsAcrossTheTimerWrap) {
  clock_.Set(0xFFFFFFFFu - 255);
  SetState(TransferState::Transferring);
  After(0, 1);
  After(512, 1);
  EXPECT_EQ(status_.GetActiveTime().GetValue(), 512u);
}

TEST_F(TransferStatusImplTest, FatalErrorStopsSampling) {
  SetState(TransferState::Transferring);
  After(0);
  EXPECT_EQ(After(1000, 5000).bytesPerSecond, 500u);
  SetState(TransferState::Transferring, TransferError::Network, 0);
  // No sample is taken any more: the rate of the last window stays.
  EXPECT_EQ(After(20000).bytesPerSecond, 500u);
  SetState(TransferState::Transferring, TransferError::Network, 1);  // retryable: sampled
  EXPECT_EQ(After(1000).bytesPerSecond, 0u);
}

TEST(TransferStatusTest, ReadyMadeRecords) {
  const TransferStatus empty = TransferStatus::MakeEmpty();
  EXPECT_EQ(empty.transferId, "");
  EXPECT_EQ(empty.destPath, "?");
  EXPECT_EQ(empty.packageId, "?");
  EXPECT_EQ(empty.state, TransferState::None);
  EXPECT_EQ(empty.error, TransferError::Internal);
  EXPECT_EQ(empty.secondsRemaining, -1);

  const TransferStatus forId = TransferStatus::MakeForId("abc", TransferState::Initializing);
  EXPECT_EQ(forId.transferId, "abc");
  EXPECT_EQ(forId.destPath, "");
  EXPECT_EQ(forId.versionId, "?");
  EXPECT_EQ(forId.state, TransferState::Initializing);
  EXPECT_EQ(forId.error, TransferError::None);
  EXPECT_EQ(forId.totalBytes, 0u);
}

}  // namespace
}  // namespace zarn
