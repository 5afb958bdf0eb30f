// The whole work tree of a transfer, from the manifests to verified files, against
// in-process content nodes, driven through a recording work interface.

#include "transfer/works/transfer_package_work.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/posix_shared_file_factory.h"
#include "telemetry/work_log_manager.h"
#include "testing/http_test_server.h"
#include "testing/loopback_port.h"
#include "transfer/http_transfer_status_data.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer_status_data.h"

namespace zarn {
namespace {

using tree_test::PatternBytes;
using tree_test::TempFolder;
using tree_test::TestFile;
using tree_test::TransferTreeRig;

constexpr uint32_t kChunk = 16384;
const char kPartner[] = "partner";
const char kPackage[] = "pkg";
const char kVersion[] = "1.0";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ContentPath(const std::string& partner, const std::string& file) {
  return "/packages/" + partner + "/" + kPackage + "/" + kVersion + "/" + file;
}

// The run file, sizes that are not multiples of the chunk size, one file of more than four
// chunks, a one-byte file and a file of exactly one chunk.
std::vector<TestFile> MixedPackage() {
  return {{"run.exe", PatternBytes(40000, 1), kChunk},
          {"data/a.bin", PatternBytes(100000, 2), kChunk},
          {"b.txt", PatternBytes(1, 3), kChunk},
          {"c.bin", PatternBytes(kChunk, 4), kChunk},
          {"d.bin", PatternBytes(50000, 5), kChunk}};
}

uint64_t TotalSize(const std::vector<TestFile>& files) {
  uint64_t total = 0;
  for (const TestFile& f : files) total += f.content.size();
  return total;
}

class TransferPackageWorkTest : public ::testing::Test {
 protected:
  // Starts `count` nodes that serve every file of the package.
  void StartNodes(int count) {
    for (int i = 0; i < count; ++i) {
      nodes_.push_back(std::make_unique<HttpTestServer>());
      for (const TestFile& f : files_) {
        nodes_.back()->ServeFile(ContentPath(kPartner, f.path), f.content);
      }
    }
  }

  std::vector<std::string> Hosts() const {
    std::vector<std::string> hosts;
    for (const auto& node : nodes_) hosts.push_back(node->Host());
    return hosts;
  }

  std::shared_ptr<tree_test::TestTransferWorkInterface> Run(std::vector<std::string> hosts = {}) {
    if (hosts.empty()) hosts = Hosts();
    rig_.Publish(kPartner, kPackage, kVersion, "run.exe", files_, hosts);
    auto wi = rig_.Start(kPartner, kPackage, kVersion, folder_.Path());
    EXPECT_TRUE(wi->WaitForEnd());
    return wi;
  }

  // Every file byte-exact, and completed = verified = total.
  void ExpectComplete(tree_test::TestTransferWorkInterface& wi) {
    const auto root = wi.RootStatus();
    if (const auto retryable = wi.RetryableStatus()) {
      ADD_FAILURE() << "retry-pending: "
                    << (retryable->data ? retryable->data->ToString() : std::string("-"));
    }
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->result, WorkResult::Success);
    for (const TestFile& f : files_) {
      EXPECT_EQ(ReadFile(folder_.Path() + "/" + f.path), f.content) << f.path;
    }
    const TransferStatus status = wi.Snapshot();
    EXPECT_EQ(status.totalBytes, TotalSize(files_));
    EXPECT_EQ(status.completedBytes, status.totalBytes);
    EXPECT_EQ(status.verifiedBytes, status.totalBytes);
  }

  std::vector<TestFile> files_ = MixedPackage();
  TempFolder folder_;
  std::vector<std::unique_ptr<HttpTestServer>> nodes_;
  TransferTreeRig rig_;
};

TEST_F(TransferPackageWorkTest, LandsEveryFileByteExactWithExactCounters) {
  StartNodes(3);
  auto wi = Run();
  ExpectComplete(*wi);
  const TransferStatus status = wi->Snapshot();
  EXPECT_EQ(status.downloadedBytes, status.totalBytes);  // nothing fetched twice
  EXPECT_EQ(status.versionId, kVersion);
  const std::vector<std::string> events = wi->Events();
  EXPECT_EQ(events.back(), "complete");
}

// A node that misbehaves in one way, beside two good ones.
struct NodeFault {
  const char* name;
  std::function<void(HttpTestServer&, const std::vector<TestFile>&)> apply;
  bool refetches;  // the node's answers surely cost bytes that are fetched again
};

void ServeWith(HttpTestServer& node, const std::vector<TestFile>& files,
               const std::function<void(HttpTestResponse&)>& change) {
  for (const TestFile& f : files) {
    HttpTestResponse response;
    response.body = f.content;
    change(response);
    node.Serve(ContentPath(kPartner, f.path), response);
  }
}

class TransferPackageWorkFaultTest : public TransferPackageWorkTest,
                                     public ::testing::WithParamInterface<NodeFault> {};

TEST_P(TransferPackageWorkFaultTest, EveryChunkEndsVerifiedFromAGoodNode) {
  StartNodes(3);
  GetParam().apply(*nodes_[0], files_);
  auto wi = Run();
  ExpectComplete(*wi);
  if (GetParam().refetches) {
    EXPECT_GT(wi->Snapshot().downloadedBytes, TotalSize(files_));
  } else {
    EXPECT_GE(wi->Snapshot().downloadedBytes, TotalSize(files_));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TransferPackageWorkFaultTest,
    ::testing::Values(
        NodeFault{"RefusesConnections",
                  [](HttpTestServer& node, const std::vector<TestFile>&) { node.Stop(); }, false},
        NodeFault{"ServesCorruptBytes",
                  [](HttpTestServer& node, const std::vector<TestFile>& files) {
                    ServeWith(node, files, [](HttpTestResponse& r) {
                      r.corruptAt = 0;
                      r.corruptLength = r.body.size();
                    });
                  },
                  true},
        NodeFault{"Stalls",
                  [](HttpTestServer& node, const std::vector<TestFile>& files) {
                    ServeWith(node, files, [](HttpTestResponse& r) {
                      r.stallAtByte = 1000;
                      r.stallFor = HttpTestResponse::kForever;
                    });
                  },
                  true},
        NodeFault{"DropsTheConnectionMidChunk",
                  [](HttpTestServer& node, const std::vector<TestFile>& files) {
                    ServeWith(node, files, [](HttpTestResponse& r) {
                      r.dropAfterBytes = 1000;
                      r.keepAlive = false;
                    });
                  },
                  true},
        NodeFault{"AnswersWithTheWholeFile",
                  [](HttpTestServer& node, const std::vector<TestFile>& files) {
                    ServeWith(node, files, [](HttpTestResponse& r) { r.ranges = false; });
                  },
                  false}),
    [](const ::testing::TestParamInfo<NodeFault>& info) { return info.param.name; });

TEST_F(TransferPackageWorkTest, CorruptChunksAreFetchedAgain) {
  StartNodes(3);
  // Every node corrupts the first answer for each file; the chunks it lands in must be
  // fetched again, and the bytes withdrawn on the way must not stay counted.
  for (auto& node : nodes_) {
    for (const TestFile& f : files_) {
      HttpTestResponse corrupt;
      corrupt.body = f.content;
      corrupt.corruptAt = 0;
      corrupt.corruptLength = f.content.size();
      node->Enqueue(ContentPath(kPartner, f.path), corrupt);
    }
  }
  auto wi = Run();
  ExpectComplete(*wi);
  EXPECT_GT(wi->Snapshot().downloadedBytes, TotalSize(files_));
}

TEST_F(TransferPackageWorkTest, WhenEveryNodeFailsTheTreeWaitsWithARetryableNetworkError) {
  // Ports that refuse connections and stay reserved, so that no server of a test running
  // beside this one answers in their place.
  const RefusingPort refusing[3];
  std::vector<std::string> hosts;
  for (const RefusingPort& port : refusing)
    hosts.push_back("127.0.0.1:" + std::to_string(port.Port()));
  auto wi = Run(hosts);
  EXPECT_FALSE(wi->RootStatus().has_value());
  const auto status = wi->RetryableStatus();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->result, WorkResult::RetryableError);
  EXPECT_FALSE(status->retry);
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status->data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->ToTransferError(), TransferError::Network);
  EXPECT_EQ(wi->Snapshot().verifiedBytes, 0u);
  rig_.Stop();
}

TEST_F(TransferPackageWorkTest, ChunksAlreadyCorrectOnDiskCauseNoRequest) {
  StartNodes(3);
  // a.bin is on disk at its full size with chunks 2 and 5 wrong; everything else is right.
  const TestFile& a = files_[1];
  std::string onDisk = a.content;
  for (uint32_t chunk : {2u, 5u}) {
    for (uint32_t i = chunk * kChunk; i < (chunk + 1) * kChunk; ++i) onDisk[i] ^= 0x5a;
  }
  std::filesystem::create_directories(folder_.Path() + "/data");
  WriteFile(folder_.Path() + "/data/a.bin", onDisk);

  auto wi = Run();
  ExpectComplete(*wi);

  std::map<std::string, int> ranges;  // Range header -> requests, for a.bin
  for (const auto& node : nodes_) {
    for (const HttpTestRequest& request : node->Requests()) {
      if (request.path == ContentPath(kPartner, a.path)) ++ranges[request.Header("Range")];
    }
  }
  const std::map<std::string, int> expected = {{"bytes=32768-49151", 1}, {"bytes=81920-98303", 1}};
  EXPECT_EQ(ranges, expected);
  const uint64_t fetched = TotalSize(files_) - a.content.size() + 2 * kChunk;
  EXPECT_EQ(wi->Snapshot().downloadedBytes, fetched);
}

TEST_F(TransferPackageWorkTest, NamesThatNeedEncodingFetchTheRightObjects) {
  const std::string partner = "a:b";
  files_ = {{"100%.txt", PatternBytes(20000, 7), kChunk},
            {"dir/what?.txt", PatternBytes(300, 8), kChunk},
            {"run.exe", PatternBytes(10, 9), kChunk}};
  const std::map<std::string, std::string> encoded = {
      {"100%.txt", "100%25.txt"}, {"dir/what?.txt", "dir/what%3F.txt"}, {"run.exe", "run.exe"}};
  nodes_.push_back(std::make_unique<HttpTestServer>());
  for (const TestFile& f : files_) {
    nodes_[0]->ServeFile("/packages/a%3Ab/pkg/1.0/" + encoded.at(f.path), f.content);
  }
  rig_.Publish(partner, kPackage, kVersion, "run.exe", files_, Hosts());
  auto wi = rig_.Start(partner, kPackage, kVersion, folder_.Path());
  ASSERT_TRUE(wi->WaitForEnd());
  ExpectComplete(*wi);
  EXPECT_EQ(wi->Snapshot().downloadedBytes, TotalSize(files_));  // no failed attempt
}

TEST_F(TransferPackageWorkTest, ExecutablesCannotRunUntilThePackageIsComplete) {
  StartNodes(1);
  files_ = {{"run.exe", PatternBytes(30000, 1), kChunk},
            {"other.bin", PatternBytes(10, 2), kChunk}};
  // The other file starts only after the run file is verified; hold it until the run
  // file has been looked at.
  std::promise<void> reached, release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> first{true};
  const std::string other = files_[1].content;
  nodes_[0]->ServeFile(ContentPath(kPartner, "run.exe"), files_[0].content);
  nodes_[0]->Handle(ContentPath(kPartner, "other.bin"), [&](const HttpTestRequest&) {
    if (first.exchange(false)) {
      reached.set_value();
      released.wait_for(std::chrono::seconds(60));
    }
    HttpTestResponse response;
    response.body = other;
    return response;
  });
  rig_.Publish(kPartner, kPackage, kVersion, "run.exe", files_, Hosts());
  // An empty, runnable run file left behind: sizing it must take its execute bits away
  // (a file made new here never has them).
  const std::string run = folder_.Path() + "/run.exe";
  WriteFile(run, "");
  std::filesystem::permissions(run, std::filesystem::perms(0755));
  auto wi = rig_.Start(kPartner, kPackage, kVersion, folder_.Path());

  ASSERT_EQ(reached.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_EQ(ReadFile(run), files_[0].content);
  struct stat info {};
  ASSERT_EQ(::stat(run.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0111, 0u);
  EXPECT_NE(::access(run.c_str(), X_OK), 0);
  release.set_value();

  ASSERT_TRUE(wi->WaitForEnd());
  ExpectComplete(*wi);
  ASSERT_EQ(::stat(run.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IXUSR, 0u);
  EXPECT_EQ(::access(run.c_str(), X_OK), 0);
  // other.bin is not an executable name: never denied, never allowed.
  ASSERT_EQ(::stat((folder_.Path() + "/other.bin").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0111, 0u);
}

TEST_F(TransferPackageWorkTest, AfterTheProbesTheFastNodeServesMostChunks) {
  files_ = {{"big.bin", PatternBytes(80 * kChunk, 11), kChunk}, {"run.exe", "x", kChunk}};
  StartNodes(2);
  HttpTestResponse slow;
  slow.bytesPerSecond = 64 * 1024;  // a quarter of a second per chunk
  for (const TestFile& f : files_) {
    slow.body = f.content;
    nodes_[1]->Serve(ContentPath(kPartner, f.path), slow);
  }
  auto wi = Run();
  ExpectComplete(*wi);
  const std::size_t fast = nodes_[0]->RequestCount();
  const std::size_t slowCount = nodes_[1]->RequestCount();
  // Every chunk once at least; a loaded machine may time a slow request out and fetch its
  // chunk again, which is the engine working as meant.
  EXPECT_GE(fast + slowCount, 81u);
  EXPECT_GE(fast, 4 * slowCount) << fast << " fast, " << slowCount << " slow";
}

// A work log that holds the first completion of the named work on its pool thread until
// released; every other report passes.
class HoldingWorkLog : public WorkLogManager {
 public:
  explicit HoldingWorkLog(std::string name)
      : WorkLogManager(0, "", &files_, [] { return std::time_t{0}; }), name_(std::move(name)) {}
  std::shared_ptr<TrackEventWork> CreateEventWork(std::uint32_t) override { return nullptr; }
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>&, const WorkStatus&) override {}
  void OnWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus&) override {
    boost::property_tree::ptree tree;
    work->Describe(tree);
    if (tree.get<std::string>("name", "") != name_ || held_.exchange(true)) return;
    reached_.set_value();
    released_.wait_for(std::chrono::seconds(60));
  }
  bool WaitUntilHeld() {
    return reached_.get_future().wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  }
  void Release() { release_.set_value(); }

 private:
  PosixSharedFileFactory files_;
  const std::string name_;
  std::atomic<bool> held_{false};
  std::promise<void> reached_, release_;
  std::shared_future<void> released_ = release_.get_future().share();
};

// A suspend drops the workflow while chunk works are still finishing on pool threads. The
// works that run keep the tree alive: it goes, releasing the chunk views and reporting its
// file, only after the last of them has returned.
TEST(TransferTreeTeardownTest, TheTreeOutlivesTheChunkWorksStillRunning) {
  HoldingWorkLog log("MutexPrefetchChunkWork");
  TempFolder folder;
  TransferTreeRig rig(tree_test::FastFailConfig(), &log);
  const std::vector<TestFile> files = {{"a.bin", PatternBytes(4 * kChunk + 5, 7), kChunk}};
  HttpTestServer node;
  node.ServeFile(ContentPath(kPartner, "a.bin"), files[0].content);
  rig.Publish(kPartner, kPackage, kVersion, "", files, {node.Host()});
  auto wi = rig.Start(kPartner, kPackage, kVersion, folder.Path());
  ASSERT_TRUE(log.WaitUntilHeld());

  rig.Drop();
  EXPECT_TRUE(wi->Tracked().empty());  // the held work still holds the tree
  log.Release();
  EXPECT_TRUE(wi->WaitForTracked("a.bin"));
  EXPECT_FALSE(wi->RootStatus().has_value());
}

TEST(StandardTransferWorkflowFactoryTest, RunsAtMostTheConfiguredNumberOfWorksAtOnce) {
  TransferConfig config = tree_test::FastFailConfig();
  config.engineThreads = 8;  // more pool threads than the transfer may use
  config.workflowMaxRunning = 3;
  TransferTreeRig rig(config);
  tree_test::TempFolder folder;
  const std::vector<TestFile> files = {{"f.bin", PatternBytes(12 * 1024, 3), 1024}};
  // Each request waits (briefly) for the others, so that the work tree is saturated.
  std::mutex mutex;
  std::condition_variable changed;
  int inFlight = 0, most = 0;
  HttpTestServer node;
  node.Handle(ContentPath(kPartner, "f.bin"), [&](const HttpTestRequest&) {
    std::unique_lock<std::mutex> lock(mutex);
    most = std::max(most, ++inFlight);
    changed.notify_all();
    changed.wait_for(lock, std::chrono::milliseconds(300), [&] { return inFlight >= 3; });
    --inFlight;
    HttpTestResponse response;
    response.body = files[0].content;
    return response;
  });
  rig.Publish(kPartner, kPackage, kVersion, "", files, {node.Host()});
  auto wi = rig.Start(kPartner, kPackage, kVersion, folder.Path());
  ASSERT_TRUE(wi->WaitForEnd());
  ASSERT_TRUE(wi->RootStatus().has_value());
  EXPECT_EQ(wi->RootStatus()->result, WorkResult::Success);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_LE(most, 3);
  EXPECT_GE(most, 2);  // the chunks do run side by side
}

}  // namespace
}  // namespace zarn
