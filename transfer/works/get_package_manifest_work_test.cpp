// The manifest works inside a running tree: retries of transient failures, fatal
// manifest errors, and the order in which a completion is reported.

#include "transfer/works/get_package_manifest_work.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "storage/posix_shared_file_factory.h"
#include "telemetry/track_event_work.h"
#include "telemetry/work_log_manager.h"
#include "testing/http_test_server.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer_status_data.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"
#include "work/work.h"

namespace zarn {
namespace {

// A work-log sink that only records what it observes, in order.
class RecordingWorkLog : public WorkLogManager {
 public:
  RecordingWorkLog() : WorkLogManager(0, "", &files_, [] { return std::time_t{0}; }) {}
  std::shared_ptr<TrackEventWork> CreateEventWork(std::uint32_t) override { return nullptr; }
  void OnWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus&) override {
    const std::string name = NameOf(*work);
    if (name == "GetPackageManifestWork") {
      // Whether the transfer's observer, which stores the package, has run already. Judged
      // by the work's name, not by the last entry: other works complete on other threads.
      const auto* transferWork = dynamic_cast<const TransferWork*>(work.get());
      const bool stored =
          transferWork != nullptr && transferWork->GetWorkInterface()->GetPackage() != nullptr;
      std::lock_guard<std::mutex> lock(mutex_);
      packageStoredFirst_ = stored;
    }
    Record("complete " + name);
  }
  bool PackageStoredFirst() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packageStoredFirst_;
  }
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>& work,
                         const WorkStatus&) override {
    Record("retry " + NameOf(*work));
  }
  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

 private:
  static std::string NameOf(const Work& work) {
    boost::property_tree::ptree tree;
    work.Describe(tree);
    return tree.get<std::string>("name", "?");
  }
  void Record(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
    recorded_.notify_all();
  }

 public:
  bool WaitFor(const std::string& entry) {
    std::unique_lock<std::mutex> lock(mutex_);
    return recorded_.wait_for(lock, std::chrono::seconds(60), [&] {
      return std::find(entries_.begin(), entries_.end(), entry) != entries_.end();
    });
  }

 private:
  PosixSharedFileFactory files_;
  std::mutex mutex_;
  std::condition_variable recorded_;
  std::vector<std::string> entries_;
  bool packageStoredFirst_ = false;
};

class ManifestWorksTest : public ::testing::Test {
 protected:
  std::shared_ptr<tree_test::TestTransferWorkInterface> Start() {
    return rig_.Start("partner", "pkg", "1.0", folder_.Path());
  }
  std::string PackagePath() const { return "/manifests/pkg/1.0.xml"; }

  RecordingWorkLog log_;
  tree_test::TempFolder folder_;
  tree_test::TransferTreeRig rig_{tree_test::FastFailConfig(), &log_};
};

// Answers of the manifest host that fail for now: the host's fault, not the package's.
struct TransientAnswer {
  const char* name;
  HttpTestResponse response;
};

// Test names and messages show the answer by its name.
void PrintTo(const TransientAnswer& answer, std::ostream* out) { *out << answer.name; }

HttpTestResponse WithStatus(int status) {
  HttpTestResponse response;
  response.status = status;
  return response;
}

// A header line over libcurl's limit before a good body, which libcurl reports as out of
// memory.
HttpTestResponse WithHugeHeader(const std::string& body) {
  HttpTestResponse response;
  response.body = body;
  response.headers = {{"X-Padding", std::string(200 * 1024, 'p')}};
  return response;
}

class TransientManifestFailureTest : public ManifestWorksTest,
                                     public ::testing::WithParamInterface<TransientAnswer> {};

INSTANTIATE_TEST_SUITE_P(Answers, TransientManifestFailureTest,
                         ::testing::Values(TransientAnswer{"ServerError", WithStatus(503)},
                                           TransientAnswer{"HugeHeader", WithHugeHeader("<x/>")}),
                         [](const ::testing::TestParamInfo<TransientAnswer>& info) {
                           return std::string(info.param.name);
                         });

TEST_P(TransientManifestFailureTest, IsRetriedAtOnceThenLeftToTheTransfer) {
  rig_.Publish("partner", "pkg", "1.0", "", {{"a", "abc", 4}}, {"127.0.0.1:1"});
  rig_.Manifests().Serve(PackagePath(), GetParam().response);
  auto wi = Start();
  ASSERT_TRUE(wi->WaitForEnd());
  const auto status = wi->RetryableStatus();
  ASSERT_TRUE(status.has_value());
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status->data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->ToTransferError(), TransferError::Network);
  std::size_t fetches = 0;
  for (const HttpTestRequest& r : rig_.Manifests().Requests()) fetches += r.path == PackagePath();
  EXPECT_EQ(fetches, 5u);  // the default limit of 4 retries
  int retries = 0;
  for (const std::string& entry : log_.Entries())
    retries += entry == "retry GetPackageManifestWork";
  EXPECT_EQ(retries, 4);
  rig_.Stop();
}

TEST_F(ManifestWorksTest, AMissingPackageFailsWithAManifestErrorWithoutRetry) {
  rig_.Publish("partner", "other", "1.0", "", {{"a", "abc", 4}}, {"127.0.0.1:1"});
  auto wi = Start();
  ASSERT_TRUE(wi->WaitForEnd());
  const auto root = wi->RootStatus();
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(root->result, WorkResult::Error);
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(root->data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->ToTransferError(), TransferError::Manifest);
  EXPECT_EQ(rig_.Manifests().Requests().size() >= 1, true);
  for (const std::string& entry : log_.Entries()) EXPECT_NE(entry, "retry GetPackageManifestWork");
}

TEST_F(ManifestWorksTest, TheTransferHearsOfACompletionBeforeTheWorkLog) {
  HttpTestServer node;
  const std::vector<tree_test::TestFile> files = {{"a", "abc", 4}};
  node.ServeFile("/packages/partner/pkg/1.0/a", "abc");
  rig_.Publish("partner", "pkg", "1.0", "", files, {node.Host()});
  auto wi = Start();
  ASSERT_TRUE(wi->WaitForEnd());
  ASSERT_TRUE(wi->RootStatus().has_value());
  ASSERT_TRUE(log_.WaitFor("complete TransferPackageWork"));  // the root reports last to it
  // The package handler stored the package before the work log saw the work complete, and
  // every work of the tree reached the work log.
  const std::vector<std::string> entries = log_.Entries();
  for (const char* name : {"TransferPackageWork",
                           "InitializeTransferWork",
                           "GetManifestsWork",
                           "GetPackageManifestWork",
                           "GetNodeListWork",
                           "ConstructTransferFromPackageWork",
                           "TransferMultipleFilesWork",
                           "ParallelTransferMultipleFilesWork",
                           "TransferSingleFileWork",
                           "OpenAndAllocateFileWork",
                           "TransferMultipleChunksWork",
                           "TransferSingleChunkWork",
                           "CreateChunkMapWork",
                           "MutexPrefetchChunkWork",
                           "VerifyChunkWork",
                           "ConditionalTransferChunkWork",
                           "RetryableTransferChunkWork",
                           "OptimizedRequestChunkWork",
                           "ReleaseChunkMapWork",
                           "CloseFileWork",
                           "DeferredWork",
                           "AllowExecuteWork"}) {
    EXPECT_NE(std::find(entries.begin(), entries.end(), std::string("complete ") + name),
              entries.end())
        << name;
  }
  EXPECT_EQ(entries.back(), "complete TransferPackageWork");
  EXPECT_TRUE(log_.PackageStoredFirst());
}

}  // namespace
}  // namespace zarn
