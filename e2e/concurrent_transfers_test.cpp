// Several transfers at once through one engine, sharing nodes (one of them faulty), the
// optimizer and the pool; one of them paused and resumed on the way. Every file of every
// transfer ends verified and byte-exact.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"

namespace zarn {
namespace e2e {
namespace {

TEST_F(EndToEndTest, ConcurrentTransfersWithPauseAndResumeAllComplete) {
  std::vector<PackageDescription> packages;
  for (std::size_t i = 0; i < 4; ++i) {
    packages.push_back(MakeTestPackage("PARTNER1", "LOAD" + std::to_string(i), "2." +
                                       std::to_string(i), 32 * 1024,
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
    manifests_.ServeFile(PackageManifestPath(p.packageId, p.versionId),
                         MakePackageManifestXml(p));
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
      *transfers[0], [](const TransferStatus& s) { return s.completedBytes > 0 ||
                                                          TestEngine::HasStopped(s); },
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

}  // namespace
}  // namespace e2e
}  // namespace zarn
