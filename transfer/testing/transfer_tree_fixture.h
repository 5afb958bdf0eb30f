#ifndef ZARN_TRANSFER_TESTING_TRANSFER_TREE_FIXTURE_H_
#define ZARN_TRANSFER_TESTING_TRANSFER_TREE_FIXTURE_H_

// Test-only helpers that run a transfer's work tree without a transfer: a recording
// TransferWorkInterface that stores what the manifest works deliver (as the transfer's
// handlers do), a builder of package and node-list documents, and a rig of the real
// services (engine pool, files, libcurl, optimizer) around in-process test servers.

#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/round_robin_http_session_factory.h"
#include "storage/crc32.h"
#include "storage/posix_shared_file_factory.h"
#include "telemetry/work_log_manager.h"
#include "testing/http_test_server.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/manifest/standard_node_list_manifest.h"
#include "transfer/manifest/standard_package_manifest.h"
#include "transfer/manifest/xml_http_node_list_manifest_factory.h"
#include "transfer/manifest/xml_http_package_manifest_factory.h"
#include "transfer/manifest/xml_manifest_tree.h"
#include "transfer/optimizer/proportional_gambling_transfer_optimizer.h"
#include "transfer/standard_transfer_data.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status_data.h"
#include "transfer/transfer_status_impl.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/node_list_status_data.h"
#include "transfer/works/package_status_data.h"
#include "transfer/works/standard_transfer_workflow_factory.h"
#include "work/asio_work_manager.h"
#include "work/work_complete_callback.h"
#include "work/work_status.h"
#include "work/workflow.h"
#include "work/workflow_retryable_error_callback.h"

namespace zarn {
namespace tree_test {

// A work interface over a StandardTransferData that records every report.
class TestTransferWorkInterface : public TransferWorkInterface,
                                  public WorkflowRetryableErrorCallback {
 public:
  TestTransferWorkInterface(const TransferParams& params, const TransferBehavior& behavior)
      : data_(params, behavior),
        root_(this, [this](const WorkStatus& s) { Record("complete", s, &rootStatus_); }),
        package_(this,
                 [this](const WorkStatus& s) {
                   if (auto p = std::dynamic_pointer_cast<PackageStatusData>(s.data)) {
                     // The node-list fetch runs meanwhile and copies the params.
                     std::lock_guard<std::mutex> lock(mutex_);
                     data_.package = p->package;
                     data_.params.versionId = p->package->GetVersionId();
                   }
                   Record("package", s, nullptr);
                 }),
        nodeList_(this,
                  [this](const WorkStatus& s) {
                    if (auto n = std::dynamic_pointer_cast<NodeListStatusData>(s.data)) {
                      data_.nodeList = n->nodeList;
                    }
                    Record("nodelist", s, nullptr);
                  }),
        initialize_(this, [this](const WorkStatus& s) {
          if (s.result == WorkResult::Success && data_.package) {
            data_.status->SetPackage(data_.package);
          }
          Record("initialize", s, nullptr);
        }) {}

  TransferParams CopyParams() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_.params;
  }
  TransferParams& GetParams() override { return data_.params; }
  TransferBehavior& GetBehavior() override { return data_.behavior; }
  std::shared_ptr<PackageManifest> GetPackage() override { return data_.package; }
  std::shared_ptr<NodeListManifest> GetNodeList() override { return data_.nodeList; }
  std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() override { return data_.status; }
  WorkCompleteCallback* GetWorkCompleteCallback() override { return &root_; }
  WorkCompleteCallback* GetPackageAcquireCallback() override { return &package_; }
  WorkCompleteCallback* GetNodeListAcquireCallback() override { return &nodeList_; }
  WorkCompleteCallback* GetInitializeCallback() override { return &initialize_; }
  WorkflowRetryableErrorCallback* GetRetryableErrorCallback() override { return this; }
  void TrackFile(const std::string& filePath) override {
    std::lock_guard<std::mutex> lock(mutex_);
    tracked_.insert(filePath);
    ended_.notify_all();
  }

  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>&,
                                const std::shared_ptr<const Work>&,
                                const WorkStatus& status) override {
    Record("retryable", status, &retryableStatus_);
  }

  StandardTransferData& Data() { return data_; }
  TransferStatus Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_.status->GetSnapshot();
  }

  // Waits (bounded) until the root completed or the workflow entered retry-pending.
  bool WaitForEnd(std::chrono::seconds timeout = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return rootStatus_ || retryableStatus_; });
  }
  std::optional<WorkStatus> RootStatus() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rootStatus_;
  }
  std::optional<WorkStatus> RetryableStatus() {
    std::lock_guard<std::mutex> lock(mutex_);
    return retryableStatus_;
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::set<std::string> Tracked() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tracked_;
  }
  // Waits (bounded) until the file's work reported the file, which it does when it goes.
  bool WaitForTracked(const std::string& filePath) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, std::chrono::seconds(60),
                           [&] { return tracked_.count(filePath) != 0; });
  }

 private:
  class Forward : public WorkCompleteCallback {
   public:
    Forward(TestTransferWorkInterface*, std::function<void(const WorkStatus&)> f)
        : f_(std::move(f)) {}
    void OnWorkComplete(const std::shared_ptr<const Work>&, const WorkStatus& s) override { f_(s); }

   private:
    std::function<void(const WorkStatus&)> f_;
  };

  void Record(const char* event, const WorkStatus& status, std::optional<WorkStatus>* slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
    if (slot && !*slot) *slot = status;
    ended_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable ended_;
  StandardTransferData data_;
  Forward root_, package_, nodeList_, initialize_;
  std::vector<std::string> events_;
  std::optional<WorkStatus> rootStatus_, retryableStatus_;
  std::set<std::string> tracked_;
};

// One file of a test package.
struct TestFile {
  std::string path;
  std::string content;
  uint32_t chunkSize;
};

// Deterministic bytes that differ from file to file and chunk to chunk.
inline std::string PatternBytes(std::size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(x >> 24);
  }
  return bytes;
}

inline std::string ChunkChecksums(const TestFile& file) {
  std::ostringstream hex;
  for (std::size_t at = 0; at < file.content.size(); at += file.chunkSize) {
    const std::size_t length = std::min<std::size_t>(file.chunkSize, file.content.size() - at);
    hex << std::hex << std::setw(8) << std::setfill('0') << Crc32(file.content.data() + at, length);
  }
  return hex.str();
}

inline std::string PackageXml(const std::string& partner, const std::string& package,
                              const std::string& version, const std::string& run,
                              const std::vector<TestFile>& files) {
  std::ostringstream xml;
  xml << "<package><id>" << package << "</id><name>test</name><partnerId>" << partner
      << "</partnerId><versionId>" << version << "</versionId>";
  if (!run.empty()) xml << "<run>" << run << "</run>";
  xml << "<files>";
  for (const TestFile& f : files) {
    xml << "<file><path>" << f.path << "</path><chunksize>" << f.chunkSize << "</chunksize><size>"
        << f.content.size() << "</size><checksums>" << ChunkChecksums(f) << "</checksums></file>";
  }
  xml << "</files></package>";
  return xml.str();
}

inline std::string NodeListXml(const std::vector<std::string>& hosts) {
  std::ostringstream xml;
  xml << "<ArrayOfNodeInfo>";
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    xml << "<NodeInfo><NodeId>node" << i << "</NodeId><Host>" << hosts[i] << "</Host></NodeInfo>";
  }
  xml << "</ArrayOfNodeInfo>";
  return xml.str();
}

// The records the manifest works would deliver for these documents.
inline std::shared_ptr<NodeListManifest> MakeNodeList(const std::vector<std::string>& hosts) {
  boost::property_tree::ptree tree;
  ParseXmlManifest(NodeListXml(hosts), tree);
  auto list = std::make_shared<StandardNodeListManifest>();
  list->Read(tree);
  return list;
}

inline std::shared_ptr<PackageManifest> MakePackage(const std::string& run,
                                                    const std::vector<TestFile>& files) {
  boost::property_tree::ptree tree;
  ParseXmlManifest(PackageXml("partner", "pkg", "1.0", run, files), tree);
  auto package = std::make_shared<StandardPackageManifest>();
  package->Read(tree);
  return package;
}

class DirectProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
};

// A unique folder below $TMPDIR, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("zarn_works_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Settings that keep fault cases short: small minimum time-outs and low-speed times.
inline TransferConfig FastFailConfig() {
  TransferConfig config(2);
  config.engineThreads = 4;
  config.workflowMaxRunning = 4;
  config.probeMinTimeout = 2;
  config.probeLowSpeedTime = 1;
  config.requestMinTimeout = 3;
  config.lowSpeedTimeBase = 1;
  config.lowSpeedTimeMax = 2;
  return config;
}

// A work interface over real files only, for the works that need no network.
class LocalRig {
 public:
  LocalRig() : config_(2), behavior_(config_) { behavior_.sharedFileFactory = &files_; }

  std::shared_ptr<TestTransferWorkInterface> Make(const std::string& folder) {
    TransferParams params;
    params.destPath = folder;
    return std::make_shared<TestTransferWorkInterface>(params, behavior_);
  }
  SharedFileFactory& Files() { return files_; }

 private:
  TransferConfig config_;
  PosixSharedFileFactory files_;
  TransferBehavior behavior_;
};

// The real services around a manifest server and content nodes.
class TransferTreeRig {
 public:
  explicit TransferTreeRig(TransferConfig config = FastFailConfig(), WorkLogManager* log = nullptr)
      : config_(std::move(config)),
        requestFactory_(&proxies_),
        packages_(manifests_.Host(), &requestFactory_, 5, 30),
        nodeLists_(manifests_.Host(), &requestFactory_, 5, 30),
        optimizer_(config_, 12345u),
        pool_(config_.engineThreads),
        behavior_(config_) {
    behavior_.sessionFactory = &sessions_;
    behavior_.requestFactory = &requestFactory_;
    behavior_.sharedFileFactory = &files_;
    behavior_.packageManifestFactory = &packages_;
    behavior_.nodeListManifestFactory = &nodeLists_;
    behavior_.optimizer = &optimizer_;
    behavior_.logManager = log;
    behavior_.workManager = &pool_;
  }

  ~TransferTreeRig() {
    Stop();
    pool_.Drain();
  }

  // Publishes a package and the node list of its partner on the manifest server.
  void Publish(const std::string& partner, const std::string& package, const std::string& version,
               const std::string& run, const std::vector<TestFile>& files,
               const std::vector<std::string>& hosts) {
    manifests_.ServeFile("/manifests/" + package + "/" + version + ".xml",
                         PackageXml(partner, package, version, run, files));
    manifests_.ServeFile("/nodes/" + partner + ".xml", NodeListXml(hosts));
  }

  // A work interface for the transfer (partner, package, version) into folder, with its
  // workflow started.
  std::shared_ptr<TestTransferWorkInterface> Start(const std::string& partner,
                                                   const std::string& package,
                                                   const std::string& version,
                                                   const std::string& folder) {
    TransferParams params;
    params.transferId = "0123456789abcdef0123456789abcdef";
    params.partnerId = partner;
    params.packageId = package;
    params.versionId = version;
    params.destPath = folder;
    auto wi = std::make_shared<TestTransferWorkInterface>(params, behavior_);
    workflow_ = StandardTransferWorkflowFactory().CreateWorkflow(wi);
    workflow_->AddRetryableErrorCallback(wi.get());
    workflow_->Start();
    return wi;
  }

  // Pauses the workflow (cancelling what runs) so that the tree can be torn down.
  void Stop() {
    if (workflow_) workflow_->Pause();
  }

  // Pauses the workflow and lets go of it, as a transfer does when it is suspended.
  void Drop() {
    Stop();
    workflow_.reset();
  }

  HttpTestServer& Manifests() { return manifests_; }
  TransferBehavior& Behavior() { return behavior_; }
  ProportionalGamblingTransferOptimizer& Optimizer() { return optimizer_; }
  const std::shared_ptr<Workflow>& GetWorkflow() const { return workflow_; }

 private:
  TransferConfig config_;
  HttpTestServer manifests_;
  DirectProxyFactory proxies_;
  CurlHttpRequestFactory requestFactory_;
  RoundRobinHttpSessionFactory sessions_;
  PosixSharedFileFactory files_;
  XmlHttpPackageManifestFactory packages_;
  XmlHttpNodeListManifestFactory nodeLists_;
  ProportionalGamblingTransferOptimizer optimizer_;
  AsioWorkManager pool_;
  TransferBehavior behavior_;
  std::shared_ptr<Workflow> workflow_;
};

}  // namespace tree_test
}  // namespace zarn

#endif  // ZARN_TRANSFER_TESTING_TRANSFER_TREE_FIXTURE_H_
