// A transfer's life through the manager of the program's own engine: paused and resumed,
// interrupted by shut-down and run again, failing on its manifests and retried, against
// nginx nodes and test servers on 127.0.0.1.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/test_engine.h"
#include "storage/path_helpers.h"
#include "testing/http_test_server.h"
#include "testing/nginx_server.h"
#include "testing/package/package_maker.h"
#include "transfer/store/transfer_manager.h"
#include "transfer/transfer.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_status.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The lines of nginx's access log from byte `offset` on, and the log's size.
std::vector<std::string> LogSince(const std::string& log, std::uintmax_t offset) {
  std::ifstream in(log);
  in.seekg(static_cast<std::streamoff>(offset));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
std::uintmax_t LogSize(const std::string& log) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(log, error);
  return error ? 0 : size;
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TransferLifecycleTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kChunk = 16 * 1024;

  TransferLifecycleTest()
      : root_(fs::path(GetTempFolder()) / ("engine-e2e-" + std::to_string(std::random_device()()))),
        relative_(root_.filename().string()) {
    fs::create_directories(root_ / "www");
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    package_.partnerId = "PARTNER";
    package_.packageId = "PKG";
    package_.versionId = "1.0";
    package_.chunkSize = kChunk;
    package_.run = "bin/run.exe";
    package_.files = {{"bin/run.exe", RandomBytes(3 * kChunk + 5, 1)},
                      {"data/a.pak", RandomBytes(14 * kChunk + 17, 2)},
                      {"data/b.pak", RandomBytes(9 * kChunk, 3)},
                      {"readme.txt", "hello"}};
    for (const auto& file : package_.files) total_ += file.bytes.size();
  }
  ~TransferLifecycleTest() override { fs::remove_all(root_); }

  // Starts nginx: 4 nodes and the manifest host, serving the package's layout.
  void Serve(const std::string& rate) {
    NginxServer::Options options;
    options.ports = 5;
    options.workers = 2;
    options.limitRate = rate;
    options.accessLog = true;
    nginx_ = std::make_unique<NginxServer>((root_ / "www").string(), options);
    WritePackageLayout(package_,
                       {nginx_->Host(0), nginx_->Host(1), nginx_->Host(2), nginx_->Host(3)},
                       (root_ / "www").string());
    config_.manifestHost = nginx_->Host(4);
    config_.transfersFolder = relative_ + "/transfers";
    config_.logsFolder = relative_ + "/logs";
  }

  std::unique_ptr<TestEngine> MakeEngine() {
    return std::make_unique<TestEngine>(config_, analyticsServer_.Host());
  }

  // The package's current version ("?"), as the application asks for it.
  static std::shared_ptr<Transfer> CreateTransfer(TestEngine& engine) {
    return engine.Create("PARTNER", "PKG", "?");
  }

  // Polls until `done` holds for the status (true) or the time is up (false).
  static bool WaitFor(Transfer& transfer, const std::function<bool(const TransferStatus&)>& done,
                      seconds limit = seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      const TransferStatus status = transfer.GetStatus();
      if (done(status)) return true;
      if (status.error != TransferError::None && !status.retryable) return false;
      std::this_thread::sleep_for(milliseconds(2));
    }
    return false;
  }
  static bool In(const TransferStatus& status, TransferState state) {
    return status.state == state;
  }

  void ExpectPackageIn(const fs::path& dest) {
    for (const auto& file : package_.files) {
      EXPECT_TRUE(ReadFile(dest / file.path) == file.bytes) << file.path;
    }
  }

  fs::path root_;
  std::string relative_;  // root_ below the temporary folder
  PackageDescription package_;
  std::uint64_t total_ = 0;
  TransferConfig config_;
  HttpTestServer analyticsServer_;
  std::unique_ptr<NginxServer> nginx_;
};

TEST_F(TransferLifecycleTest, CompletesWithAPauseAndResumeOnTheWay) {
  analyticsServer_.Serve("/", HttpTestResponse());
  Serve("8k");  // a chunk takes about 2 s: long enough to act on the way
  auto engine = MakeEngine();
  std::shared_ptr<Transfer> transfer = CreateTransfer(*engine);
  const std::string id = transfer->GetStatus().transferId;
  ASSERT_TRUE(WaitFor(*transfer, [](const TransferStatus& s) {
    return In(s, TransferState::Initialized);
  })) << ToNumber(transfer->GetStatus().error);
  EXPECT_EQ(transfer->GetStatus().versionId, "1.0");
  EXPECT_EQ(transfer->GetStatus().totalBytes, total_);

  const fs::path dest = root_ / "dest";  // the application makes its folders beforehand
  fs::create_directories(dest);
  // The service looks the transfer up by id, as the application does.
  ASSERT_EQ(engine->Manager().GetTransfer(id, engine->Behavior()), transfer);
  ASSERT_EQ(transfer->Start(dest.string()).state, TransferState::Transferring);
  ASSERT_TRUE(WaitFor(*transfer, [](const TransferStatus& s) { return s.completedBytes > 0; }));
  const TransferStatus paused = transfer->Pause();
  ASSERT_EQ(paused.state, TransferState::Paused);
  EXPECT_LT(paused.verifiedBytes, total_);
  EXPECT_EQ(transfer->Resume().state, TransferState::Transferring);

  ASSERT_TRUE(WaitFor(*transfer, [](const TransferStatus& s) {
    return In(s, TransferState::Completed);
  })) << ToNumber(transfer->GetStatus().error);
  const TransferStatus done = transfer->GetStatus();
  EXPECT_EQ(done.completedBytes, total_);
  EXPECT_EQ(done.verifiedBytes, total_);
  EXPECT_GE(done.downloadedBytes, total_ - paused.verifiedBytes);
  EXPECT_EQ(done.runFile, "bin/run.exe");
  EXPECT_EQ(done.destPath, dest.string());
  ExpectPackageIn(dest);
  EXPECT_NE(fs::status(dest / "bin/run.exe").permissions() & fs::perms::owner_exec,
            fs::perms::none);
  // Its identity was stored at the start, with the folder and the manifest's version.
  const std::string stored =
      ReadFile(fs::path(GetTempFolder()) / config_.transfersFolder / (id + ".json"));
  EXPECT_NE(stored.find("\"versionId\":\"1.0\""), std::string::npos) << stored;
  engine.reset();
  EXPECT_GT(analyticsServer_.RequestCount(), 0u);
}

// A transfer suspended at shut-down is run again into the same folder as a new transfer:
// the chunks already on disk and correct are verified in place, only the others fetched.
TEST_F(TransferLifecycleTest, InterruptedTransferFetchesOnlyWhatIsMissing) {
  analyticsServer_.Serve("/", HttpTestResponse());
  Serve("8k");
  const fs::path dest = root_ / "dest";
  fs::create_directories(dest);
  std::string storedId;
  {
    auto engine = MakeEngine();
    std::shared_ptr<Transfer> transfer = CreateTransfer(*engine);
    ASSERT_TRUE(WaitFor(*transfer,
                        [](const TransferStatus& s) { return In(s, TransferState::Initialized); }));
    transfer->Start(dest.string());
    ASSERT_TRUE(WaitFor(*transfer,
                        [this](const TransferStatus& s) { return s.verifiedBytes >= total_ / 4; }));
    EXPECT_LT(transfer->GetStatus().verifiedBytes, total_);
    storedId = transfer->GetStatus().transferId;
  }  // shut down: the transfer is suspended, the pool stopped
  // Suspended, it keeps its stored identity.
  EXPECT_TRUE(
      fs::exists(fs::path(GetTempFolder()) / config_.transfersFolder / (storedId + ".json")));

  // Which chunks the interrupted run left correct on disk.
  std::set<std::string> missing;  // "<uri> bytes=<lo>-<hi>" of every other chunk
  std::size_t present = 0;
  for (const auto& file : package_.files) {
    const std::string onDisk = ReadFile(dest / file.path);
    const std::string uri = PackageFilePath(package_, file.path);
    for (std::uint64_t lower = 0; lower < file.bytes.size(); lower += kChunk) {
      const std::uint64_t length = std::min<std::uint64_t>(kChunk, file.bytes.size() - lower);
      if (onDisk.size() == file.bytes.size() &&
          onDisk.compare(lower, length, file.bytes, lower, length) == 0) {
        ++present;
        continue;
      }
      missing.insert(uri + " bytes=" + std::to_string(lower) + "-" +
                     std::to_string(lower + length - 1));
    }
  }
  ASSERT_GT(present, 0u);
  ASSERT_FALSE(missing.empty());

  const std::uintmax_t logOffset = LogSize(nginx_->AccessLog());
  auto engine = MakeEngine();
  std::shared_ptr<Transfer> transfer = CreateTransfer(*engine);
  ASSERT_TRUE(WaitFor(*transfer,
                      [](const TransferStatus& s) { return In(s, TransferState::Initialized); }));
  transfer->Start(dest.string());
  ASSERT_TRUE(WaitFor(*transfer, [](const TransferStatus& s) {
    return In(s, TransferState::Completed);
  })) << ToNumber(transfer->GetStatus().error);
  ExpectPackageIn(dest);
  EXPECT_EQ(transfer->GetStatus().verifiedBytes, total_);
  engine.reset();

  std::set<std::string> fetched;
  for (const std::string& line : LogSince(nginx_->AccessLog(), logOffset)) {
    std::istringstream fields(line);
    std::string uri, range, status;
    fields >> uri >> range >> status;
    if (range.rfind("bytes=", 0) == 0) fetched.insert(uri + " " + range);
  }
  EXPECT_EQ(fetched, missing);
}

// The same engine against in-process servers, for the failure paths of a real workflow.
class TransferFailureTest : public TransferLifecycleTest {
 protected:
  void ServeInProcess() {
    ServePackage(package_, manifests_, {&node1_, &node2_});
    config_.manifestHost = manifests_.Host();
    config_.transfersFolder = relative_ + "/transfers";
    config_.logsFolder = relative_ + "/logs";
    analyticsServer_.Serve("/", HttpTestResponse());
  }

  HttpTestServer manifests_;
  HttpTestServer node1_;
  HttpTestServer node2_;
};

// The package handler runs on a pool thread while the node list is still being fetched:
// the mismatch fails the transfer at once, and the termination's report of the root is
// taken for what it is (the transfer is already failed).
TEST_F(TransferFailureTest, PackageOfAnotherPartnerFailsWhileTheNodeListIsFetched) {
  ServeInProcess();
  PackageDescription other = package_;
  other.partnerId = "OTHER";
  manifests_.ServeFile(CurrentPackageManifestPath("PKG"), MakePackageManifestXml(other));
  HttpTestResponse stall;
  stall.stallBeforeHeaders = HttpTestResponse::kForever;
  manifests_.Serve(NodeListPath("PARTNER"), stall);
  {
    auto engine = MakeEngine();
    std::shared_ptr<Transfer> transfer = CreateTransfer(*engine);
    ASSERT_TRUE(WaitFor(
        *transfer, [](const TransferStatus& s) { return s.error != TransferError::None; },
        seconds(60)));
    const TransferStatus status = transfer->GetStatus();
    EXPECT_EQ(status.error, TransferError::Manifest);
    EXPECT_EQ(status.retryable, 0);
    EXPECT_EQ(status.state, TransferState::Initializing);
    EXPECT_EQ(transfer->Start((root_ / "dest").string()).state, TransferState::Initializing);
    manifests_.Stop();  // ends the stalled fetch, so that the pool can stop
  }
}

// A manifest host that fails for a while: the fetch is tried 5 times in a row, then the
// transfer waits with a retryable Network error until Retry, and then completes.
TEST_F(TransferFailureTest, RetryableManifestFailureWaitsForRetry) {
  ServeInProcess();
  HttpTestResponse unavailable;
  unavailable.status = 503;
  for (int i = 0; i < 5; ++i) manifests_.Enqueue(CurrentPackageManifestPath("PKG"), unavailable);
  auto engine = MakeEngine();
  std::shared_ptr<Transfer> transfer = CreateTransfer(*engine);
  ASSERT_TRUE(WaitFor(
      *transfer, [](const TransferStatus& s) { return s.error != TransferError::None; },
      seconds(60)));
  TransferStatus status = transfer->GetStatus();
  EXPECT_EQ(status.error, TransferError::Network);
  EXPECT_EQ(status.retryable, 1);
  EXPECT_EQ(status.state, TransferState::Initializing);
  int fetches = 0;
  for (const auto& request : manifests_.Requests()) {
    fetches += request.path == CurrentPackageManifestPath("PKG");
  }
  EXPECT_EQ(fetches, 5);

  EXPECT_EQ(transfer->Retry().error, TransferError::None);
  ASSERT_TRUE(WaitFor(
      *transfer, [](const TransferStatus& s) { return In(s, TransferState::Initialized); },
      seconds(60)));
  const fs::path dest = root_ / "dest";
  fs::create_directories(dest);
  transfer->Start(dest.string());
  ASSERT_TRUE(WaitFor(
      *transfer, [](const TransferStatus& s) { return In(s, TransferState::Completed); },
      seconds(60)));
  ExpectPackageIn(dest);
}

}  // namespace
}  // namespace zarn
