#include "updater/transfer_service_impl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "http/environment_http_proxy_factory.h"
#include "storage/testing/test_folder.h"
#include "testing/http_test_server.h"
#include "testing/package/package_maker.h"
#include "transfer/transfer_config.h"

namespace zarn {
namespace {

TEST(TransferServiceImplTest, UnknownIdsAreNoTransferWithoutAnError) {
  TestFolder folder;
  setenv("TMPDIR", folder.path().c_str(), 1);
  {
    TransferConfig config(1);
    config.manifestHost = "127.0.0.1:9";
    TransferServiceImpl service(config);
    for (const TransferStatus& status :
         {service.GetStatus("0123456789abcdef0123456789abcdef"),
          service.StartTransfer("0123456789abcdef0123456789abcdef", folder / "dest")}) {
      EXPECT_EQ(status.transferId, "0123456789abcdef0123456789abcdef");
      EXPECT_EQ(status.state, TransferState::None);
      EXPECT_EQ(status.error, TransferError::None);
    }
  }
  unsetenv("TMPDIR");
}

// The program's engine over in-process servers: a node that sends each body at 64 KiB a
// second, so that chunks are still running when a test closes the service.
class TransferServiceRunTest : public ::testing::Test {
 protected:
  TransferServiceRunTest() {
    setenv("TMPDIR", folder_.path().c_str(), 1);
    std::mt19937 random(3);
    package_.partnerId = "PARTNER";
    package_.packageId = "PKG";
    package_.versionId = "1.0";
    package_.chunkSize = 16 * 1024;
    package_.run = "run.exe";
    for (const char* path : {"run.exe", "data.pak"}) {
      std::string bytes(12 * package_.chunkSize + 100, '\0');
      for (char& byte : bytes) byte = static_cast<char>(random());
      package_.files.push_back({path, bytes});
      total_ += bytes.size();
    }
    manifests_.ServeFile(CurrentPackageManifestPath("PKG"), MakePackageManifestXml(package_));
    manifests_.ServeFile(NodeListPath("PARTNER"), MakeNodeListXml({node_.Host()}));
    for (const PackageFileContent& file : package_.files) {
      HttpTestResponse slow;
      slow.body = file.bytes;
      slow.bytesPerSecond = 64 * 1024;
      node_.Serve(PackageFilePath(package_, file.path), slow);
    }
    std::filesystem::create_directories(dest_);
  }
  ~TransferServiceRunTest() override { unsetenv("TMPDIR"); }

  std::unique_ptr<TransferServiceImpl> MakeService() {
    TransferConfig config(1);
    config.manifestHost = manifests_.Host();
    TransferServiceOverrides overrides;
    overrides.proxyFactory = std::make_unique<EnvironmentHttpProxyFactory>(
        0, 0, 0, 0, [](const std::string&) { return std::string(); });
    overrides.eventsHost = analytics_.Host();
    overrides.transfersHost = analytics_.Host();
    return std::make_unique<TransferServiceImpl>(config, std::move(overrides));
  }

  // Polls the service (bounded) until `done` holds; the last status either way.
  static TransferStatus WaitFor(TransferServiceImpl& service, const std::string& id,
                                const std::function<bool(const TransferStatus&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    TransferStatus status = service.GetStatus(id);
    while (!done(status) && status.error == TransferError::None &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      status = service.GetStatus(id);
    }
    return status;
  }

  // Creates the transfer and starts it into dest_ once it is initialised.
  static std::string CreateAndStart(TransferServiceImpl& service, const std::string& dest) {
    const std::string id = service.CreateTransfer("PARTNER", "PKG", "?").transferId;
    const TransferStatus ready = WaitFor(
        service, id, [](const TransferStatus& s) { return s.state == TransferState::Initialized; });
    EXPECT_EQ(ready.state, TransferState::Initialized) << ToNumber(ready.error);
    EXPECT_EQ(service.StartTransfer(id, dest).state, TransferState::Transferring);
    return id;
  }

  TestFolder folder_;
  std::string dest_ = folder_ / "dest";
  PackageDescription package_;
  std::uint64_t total_ = 0;
  HttpTestServer analytics_;
  HttpTestServer manifests_;
  HttpTestServer node_;
};

// Closing the service suspends the transfer and waits for its running chunks; nothing is
// lost: the stored identity stays, and the next service completes the files in place.
TEST_F(TransferServiceRunTest, ClosingWhileChunksRunSuspendsTheTransferForTheNextRun) {
  std::string id;
  {
    std::unique_ptr<TransferServiceImpl> service = MakeService();
    id = CreateAndStart(*service, dest_);
    const TransferStatus running =
        WaitFor(*service, id, [](const TransferStatus& s) { return s.verifiedBytes > 0; });
    ASSERT_GT(running.verifiedBytes, 0u);
    ASSERT_LT(running.verifiedBytes, total_);
    service.reset();  // chunks are on their way
  }
  const std::string stored = folder_ / (TransferConfig().transfersFolder + "/" + id + ".json");
  EXPECT_TRUE(std::filesystem::exists(stored)) << stored;

  std::unique_ptr<TransferServiceImpl> service = MakeService();
  const std::string again = CreateAndStart(*service, dest_);
  const TransferStatus end = WaitFor(
      *service, again, [](const TransferStatus& s) { return s.state == TransferState::Completed; });
  EXPECT_EQ(end.state, TransferState::Completed) << ToNumber(end.error);
  EXPECT_EQ(end.verifiedBytes, total_);
  for (const PackageFileContent& file : package_.files) {
    EXPECT_TRUE(folder_.ReadFile("dest/" + file.path) == file.bytes) << file.path;
  }
}

}  // namespace
}  // namespace zarn
