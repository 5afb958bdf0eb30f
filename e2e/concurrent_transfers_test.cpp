// The engine under concurrent use and at shut-down: several transfers at once sharing
// nodes (one of them faulty), the optimizer and the pool, one paused and resumed on the
// way; and an engine shut down mid-transfer whose folder a new engine finishes.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_fixture.h"

namespace zarn {
namespace e2e {
namespace {

TEST_F(EndToEndTest, ConcurrentTransfersWithPauseAndResumeAllComplete) {
  std::vector<PackageDescription> packages;
  for (std::size_t i = 0; i < 4; ++i) {
    packages.push_back(MakeTestPackage("PARTNER1", "LOAD" + std::to_string(i),
                                       "2." + std::to_string(i), 32 * 1024,
                                       {40 * 1024, 700 * 1024 + i, 260 * 1024, 90 * 1024}));
    WritePackageLayout(packages.back(), {}, content_.Path());
  }
  HttpTestResponse resets;
  resets.dropAfterBytes = 20000;
  servers_.push_back(std::make_unique<HttpTestServer>());
  for (const PackageDescription& p : packages) {
    for (const PackageFileContent& file : p.files) {
      HttpTestResponse response = resets;
      response.body = file.bytes;
      servers_.back()->Serve(PackageFilePath(p, file.path), response);
    }
  }
  hosts_.push_back(servers_.back()->Host());
  try {
    AddNginxNode();
    AddNginxNode();
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  for (const PackageDescription& p : packages) {
    manifests_.ServeFile(PackageManifestPath(p.packageId, p.versionId), MakePackageManifestXml(p));
    manifests_.ServeFile(CurrentPackageManifestPath(p.packageId), MakePackageManifestXml(p));
  }
  manifests_.ServeFile(NodeListPath("PARTNER1"), MakeNodeListXml(hosts_));

  std::vector<std::shared_ptr<Transfer>> transfers;
  std::vector<std::unique_ptr<ScratchFolder>> folders;
  for (std::size_t i = 0; i < packages.size(); ++i) {
    // Every other transfer asks for the current version ("?"); the manifest names it.
    const PackageDescription& p = packages[i];
    transfers.push_back(Engine().Create(p.partnerId, p.packageId, i % 2 ? "?" : p.versionId));
    ASSERT_TRUE(transfers.back());
    folders.push_back(std::make_unique<ScratchFolder>());
  }
  for (std::size_t i = 0; i < transfers.size(); ++i) {
    const TransferStatus ready = TestEngine::WaitFor(
        *transfers[i],
        [](const TransferStatus& s) {
          return s.state == TransferState::Initialized || TestEngine::HasStopped(s);
        },
        kCaseTimeout);
    ASSERT_EQ(ready.state, TransferState::Initialized) << DescribeStatus(ready);
    transfers[i]->Start(folders[i]->Path());
  }

  // Pause the first once it has made progress, then resume it.
  const TransferStatus moving = TestEngine::WaitFor(
      *transfers[0],
      [](const TransferStatus& s) { return s.completedBytes > 0 || TestEngine::HasStopped(s); },
      kCaseTimeout);
  if (moving.state == TransferState::Transferring) {
    EXPECT_EQ(transfers[0]->Pause().state, TransferState::Paused);
    EXPECT_EQ(transfers[0]->Resume().state, TransferState::Transferring);
  }

  for (std::size_t i = 0; i < transfers.size(); ++i) {
    SCOPED_TRACE(packages[i].packageId);
    const TransferStatus end =
        TestEngine::WaitFor(*transfers[i], TestEngine::HasStopped, kCaseTimeout);
    EXPECT_EQ(end.state, TransferState::Completed) << DescribeStatus(end);
    EXPECT_EQ(end.verifiedBytes, end.totalBytes);
    EXPECT_EQ(end.versionId, packages[i].versionId);
    const FolderCheck check = CheckFolder(packages[i], folders[i]->Path());
    EXPECT_TRUE(check.exact) << check.firstProblem;
  }
  EXPECT_GT(servers_.front()->RequestCount(), 0u);
}

// The engine shut down while chunks are in flight (the application's exit mid-transfer):
// the shut-down returns, and a new engine's transfer into the same folder fetches only the
// chunks that are not on disk as the source has them.
TEST_F(EndToEndTest, ShutDownMidTransferThenRunAgainFetchesOnlyWhatIsMissing) {
  HttpTestResponse slow;
  slow.bytesPerSecond = 64 * 1024;
  AddTestNode(slow);
  Publish();
  const TransferStatus ready = CreateAndStart();
  ASSERT_EQ(ready.state, TransferState::Initialized) << DescribeStatus(ready);
  WaitForVerified(4 * 64 * 1024);
  ASSERT_EQ(transfer_->GetStatus().state, TransferState::Transferring);
  transfer_.reset();
  engine_.reset();  // suspends the transfer, stops the pool, drains the sinks

  const std::size_t missing = CountMissingChunks(package_, dest_.Path());
  ASSERT_GT(missing, 0u);
  HttpTestServer fresh;
  for (const PackageFileContent& file : package_.files) {
    fresh.ServeFile(PackageFilePath(package_, file.path), file.bytes);
  }
  manifests_.ServeFile(NodeListPath(package_.partnerId), MakeNodeListXml({fresh.Host()}));
  ExpectComplete(Run());
  EXPECT_EQ(fresh.RequestCount(), missing);
}

std::size_t CountFiles(const std::string& folder) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) ++files;
  }
  return files;
}

// A cancel that deletes files, while chunks are in flight, leaves no file of the package
// behind once the works still running have let go of theirs.
TEST_F(EndToEndTest, CancelWithDeleteMidTransferLeavesNoFiles) {
  HttpTestResponse slow;
  slow.bytesPerSecond = 64 * 1024;
  AddTestNode(slow);
  Publish();
  const TransferStatus ready = CreateAndStart();
  ASSERT_EQ(ready.state, TransferState::Initialized) << DescribeStatus(ready);
  WaitForVerified(4 * 64 * 1024);
  ASSERT_GT(CountFiles(dest_.Path()), 1u);
  EXPECT_EQ(transfer_->Cancel(true).state, TransferState::Canceled);
  const auto deadline = std::chrono::steady_clock::now() + kCaseTimeout;
  while (CountFiles(dest_.Path()) > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(CountFiles(dest_.Path()), 0u);
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
