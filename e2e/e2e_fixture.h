#ifndef ZARN_E2E_E2E_FIXTURE_H_
#define ZARN_E2E_E2E_FIXTURE_H_

// What every end-to-end case shares: a multi-file package, a manifest host (an in-process
// test server, so that its faults can be scripted), content nodes of several kinds, the
// engine with its working folders, and the checks of the outcome against the sources.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "e2e/test_engine.h"
#include "e2e/test_package.h"
#include "testing/http_test_server.h"
#include "testing/loopback_port.h"
#include "testing/nginx_server.h"
#include "testing/package/package_maker.h"
#include "transfer/transfer.h"
#include "transfer/transfer_status.h"

namespace zarn {
namespace e2e {

constexpr std::chrono::seconds kCaseTimeout(120);

class EndToEndTest : public ::testing::Test {
 protected:
  // 4 files (one of them the run file) of 64 KiB chunks, 20 chunks in all, the last chunk
  // of each file short.
  EndToEndTest()
      : package_(MakeTestPackage("PARTNER1", "PKG1", "1.0", 64 * 1024,
                                 {100 * 1024, 500 * 1024, 300 * 1024, 250 * 1024 + 17})) {
    WritePackageLayout(package_, {}, content_.Path());
  }

  // An nginx node over the package's files; throws when nginx is missing.
  NginxServer& AddNginxNode() {
    if (!NginxServer::Available()) throw std::runtime_error("nginx is not installed");
    nginx_.push_back(std::make_unique<NginxServer>(content_.Path()));
    hosts_.push_back(nginx_.back()->Host());
    return *nginx_.back();
  }

  // A test-server node on address that answers every file with `shape` (its body set to
  // the file).
  HttpTestServer& AddTestNode(const HttpTestResponse& shape = HttpTestResponse(),
                              const std::string& address = "127.0.0.1") {
    servers_.push_back(std::make_unique<HttpTestServer>(address));
    for (const PackageFileContent& file : package_.files) {
      HttpTestResponse response = shape;
      response.body = file.bytes;
      servers_.back()->Serve(PackageFilePath(package_, file.path), response);
    }
    hosts_.push_back(servers_.back()->Host());
    return *servers_.back();
  }

  // A node in the list where nothing listens.
  void AddClosedNode() { hosts_.push_back("127.0.0.1:" + std::to_string(FreePort())); }

  // Publishes the package manifest and the node list of the nodes added so far.
  void Publish() {
    manifests_.ServeFile(PackageManifestPath(package_.packageId, package_.versionId),
                         MakePackageManifestXml(package_));
    manifests_.ServeFile(NodeListPath(package_.partnerId), MakeNodeListXml(hosts_));
  }

  TestEngine& Engine() {
    if (!engine_) {
      engine_ = std::make_unique<TestEngine>(
          TestEngine::FastConfig(manifests_.Host(), work_.RelativeToTemp()));
    }
    return *engine_;
  }

  // Creates, initialises and starts the transfer and waits (bounded) for its end.
  TransferStatus Run() {
    transfer_ = Engine().Create(package_.partnerId, package_.packageId, package_.versionId);
    EXPECT_TRUE(transfer_);
    if (!transfer_) return TransferStatus();
    return TestEngine::RunToEnd(*transfer_, dest_.Path(), kCaseTimeout);
  }

  // Creates and initialises the transfer and, once it is initialised, starts it into the
  // destination without waiting for more; answers its status after the initialisation.
  TransferStatus CreateAndStart() {
    transfer_ = Engine().Create(package_.partnerId, package_.packageId, package_.versionId);
    if (!transfer_) return TransferStatus();
    const TransferStatus ready = TestEngine::WaitFor(
        *transfer_, [](const TransferStatus& s) { return s.state == TransferState::Initialized; },
        kCaseTimeout);
    if (ready.state == TransferState::Initialized) transfer_->Start(dest_.Path());
    return ready;
  }

  // Waits (bounded) until the transfer has verified `bytes` or stopped.
  TransferStatus WaitForVerified(std::uint64_t bytes) {
    return TestEngine::WaitFor(
        *transfer_,
        [bytes](const TransferStatus& s) {
          return s.verifiedBytes >= bytes || TestEngine::HasStopped(s);
        },
        kCaseTimeout);
  }

  // Retries a transfer that stopped with a retryable error, at most `times` times, as a
  // user would, and waits for the end again.
  TransferStatus RetryWhileRetryable(TransferStatus status, int times) {
    for (int i = 0; i < times && status.error != TransferError::None && status.retryable; ++i) {
      transfer_->Retry();
      status = TestEngine::WaitFor(*transfer_, TestEngine::HasStopped, kCaseTimeout);
    }
    return status;
  }

  std::uint64_t PackageSize() const {
    std::uint64_t size = 0;
    for (const PackageFileContent& file : package_.files) size += file.bytes.size();
    return size;
  }

  // Every file verified, byte for byte, and the run file executable.
  void ExpectComplete(const TransferStatus& status) {
    EXPECT_EQ(status.state, TransferState::Completed) << DescribeStatus(status);
    EXPECT_EQ(status.error, TransferError::None) << DescribeStatus(status);
    EXPECT_EQ(status.verifiedBytes, PackageSize());
    EXPECT_EQ(status.completedBytes, PackageSize());
    EXPECT_EQ(status.totalBytes, PackageSize());
    const FolderCheck check = CheckFolder(package_, dest_.Path());
    EXPECT_TRUE(check.exact) << check.firstProblem;
    struct stat info {};
    ASSERT_EQ(::stat((dest_.Path() + "/" + package_.run).c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u) << "the run file is not executable";
  }

  // Stopped with the error (any error for None), never Completed, and nothing counted as
  // verified that is not on disk as the source has it.
  void ExpectFailed(const TransferStatus& status, TransferError error, bool retryable) {
    EXPECT_TRUE(TestEngine::HasStopped(status)) << "no end in time: " << DescribeStatus(status);
    EXPECT_NE(status.state, TransferState::Completed) << DescribeStatus(status);
    if (error == TransferError::None) {
      EXPECT_NE(status.error, TransferError::None) << DescribeStatus(status);
    } else {
      EXPECT_EQ(status.error, error) << DescribeStatus(status);
    }
    EXPECT_EQ(status.retryable != 0, retryable) << DescribeStatus(status);
    EXPECT_LT(status.verifiedBytes, PackageSize());
    const FolderCheck check = CheckFolder(package_, dest_.Path());
    EXPECT_LE(status.verifiedBytes, check.goodBytes) << "bytes counted verified that are not";
  }

  PackageDescription package_;
  ScratchFolder content_;  // the nodes' document root
  ScratchFolder work_;     // the engine's transfers and logs folders
  ScratchFolder dest_;     // the destination folder
  HttpTestServer manifests_;
  std::vector<std::unique_ptr<NginxServer>> nginx_;
  std::vector<std::unique_ptr<HttpTestServer>> servers_;
  std::vector<std::string> hosts_;
  std::unique_ptr<TestEngine> engine_;  // destroyed before the servers it talks to
  std::shared_ptr<Transfer> transfer_;

  void TearDown() override {
    transfer_.reset();
    engine_.reset();
  }
};

}  // namespace e2e
}  // namespace zarn

#endif  // ZARN_E2E_E2E_FIXTURE_H_
