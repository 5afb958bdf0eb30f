#include "e2e/test_engine.h"

#include <algorithm>
#include <sstream>
#include <thread>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/round_robin_http_session_factory.h"
#include "storage/posix_shared_file_factory.h"
#include "telemetry/json_http_analytics_manager.h"
#include "telemetry/json_work_log_manager.h"
#include "testing/http_test_server.h"
#include "transfer/json_temp_file_manifest_store.h"
#include "transfer/manifest/xml_http_node_list_manifest_factory.h"
#include "transfer/manifest/xml_http_package_manifest_factory.h"
#include "transfer/optimizer/proportional_gambling_transfer_optimizer.h"
#include "transfer/stored_transfer_factory.h"
#include "transfer/temp_file_transfer_manager.h"
#include "transfer/transfer.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/works/standard_transfer_workflow_factory.h"
#include "work/asio_work_manager.h"

namespace zarn {
namespace {

// Tests talk to loopback addresses only: no proxy, whatever the environment says.
class DirectProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
};

}  // namespace

// Members in the composition root's order; destroyed in reverse, after the explicit
// shut-down steps of ~TestEngine.
struct TestEngine::Services {
  Services(const TransferConfig& c, const std::string& analyticsHost,
           HttpProxyFactory* proxyFactory)
      : config(c),
        requestFactory(proxyFactory != nullptr ? proxyFactory : &proxies),
        packages(config.manifestHost, &requestFactory, config.manifestConnectTimeout,
                 config.manifestTimeout),
        nodeLists(config.manifestHost, &requestFactory, config.manifestConnectTimeout,
                  config.manifestTimeout),
        store(config.transfersFolder, &files),
        transferFactory(&store, &workflows),
        manager(&store, &transferFactory),
        optimizer(config),
        analytics(std::make_unique<JsonHttpAnalyticsManager>(
            &requestFactory, sessions.Create(), config.analyticsConnectTimeout,
            config.analyticsTimeout, config.analyticsRetryLimit,
            analyticsHost.empty() ? analyticsSink.Host() : analyticsHost,
            analyticsHost.empty() ? analyticsSink.Host() : analyticsHost)),
        log(std::make_unique<JsonWorkLogManager>(static_cast<std::uint32_t>(config.logMask),
                                                 config.logsFolder, &files)),
        pool(std::make_unique<AsioWorkManager>(config.engineThreads)),
        behavior(std::make_unique<TransferBehavior>(
            config, &sessions, &requestFactory, &files, &packages, &nodeLists, &manager,
            &optimizer, analytics.get(), log.get(), pool.get())) {}

  TransferConfig config;
  HttpTestServer analyticsSink;  // answers 404 to every post; only its port matters
  RoundRobinHttpSessionFactory sessions;
  DirectProxyFactory proxies;
  CurlHttpRequestFactory requestFactory;
  PosixSharedFileFactory files;
  XmlHttpPackageManifestFactory packages;
  XmlHttpNodeListManifestFactory nodeLists;
  StandardTransferWorkflowFactory workflows;
  JsonTempFileManifestStore store;
  StoredTransferFactory transferFactory;
  TempFileTransferManager manager;
  ProportionalGamblingTransferOptimizer optimizer;
  std::unique_ptr<JsonHttpAnalyticsManager> analytics;
  std::unique_ptr<JsonWorkLogManager> log;
  std::unique_ptr<AsioWorkManager> pool;
  std::unique_ptr<TransferBehavior> behavior;
};

TransferConfig TestEngine::FastConfig(const std::string& manifestHost,
                                      const std::string& workFolder) {
  TransferConfig config(2);
  config.manifestHost = manifestHost;
  config.transfersFolder = workFolder + "/transfers";
  config.logsFolder = workFolder + "/logs";
  config.engineThreads = 8;
  config.workflowMaxRunning = 6;
  config.manifestRetryLimit = 1;
  config.manifestConnectTimeout = 2;
  config.manifestTimeout = 3;
  config.requestConnectTimeout = 2;
  config.probeConnectTimeout = 2;
  config.requestMinTimeout = 4;
  config.probeMinTimeout = 3;
  config.lowSpeedTimeBase = 1;
  config.lowSpeedTimeMax = 2;
  config.probeLowSpeedTime = 1;
  config.analyticsConnectTimeout = 1;
  config.analyticsTimeout = 2;
  config.analyticsRetryLimit = 0;
  return config;
}

TestEngine::TestEngine(const TransferConfig& config, const std::string& analyticsHost,
                       HttpProxyFactory* proxies)
    : services_(std::make_unique<Services>(config, analyticsHost, proxies)) {}

TestEngine::~TestEngine() {
  services_->manager.Shutdown();
  services_->behavior.reset();
  services_->pool.reset();
  services_->log.reset();
  services_->analytics.reset();
}

const TransferConfig& TestEngine::Config() const { return services_->config; }
TransferManager& TestEngine::Manager() { return services_->manager; }
const TransferBehavior& TestEngine::Behavior() { return *services_->behavior; }

std::shared_ptr<Transfer> TestEngine::Create(const std::string& partnerId,
                                             const std::string& packageId,
                                             const std::string& versionId) {
  TransferParams params;
  params.partnerId = partnerId;
  params.packageId = packageId;
  params.versionId = versionId;
  std::shared_ptr<Transfer> transfer =
      services_->manager.CreateTransfer(params, *services_->behavior);
  if (transfer) transfer->Initialize();
  return transfer;
}

TransferStatus TestEngine::WaitFor(Transfer& transfer,
                                   const std::function<bool(const TransferStatus&)>& done,
                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  TransferStatus status = transfer.GetStatus();
  while (!done(status) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    status = transfer.GetStatus();
  }
  return status;
}

bool TestEngine::HasStopped(const TransferStatus& status) {
  switch (status.state) {
    case TransferState::None:
    case TransferState::Suspended:
    case TransferState::Completed:
    case TransferState::Canceled:
      return true;
    default:
      return status.error != TransferError::None;
  }
}

TransferStatus TestEngine::RunToEnd(Transfer& transfer, const std::string& folder,
                                    std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  TransferStatus status = WaitFor(
      transfer,
      [](const TransferStatus& s) { return s.state == TransferState::Initialized || HasStopped(s); },
      timeout);
  if (status.state != TransferState::Initialized || status.error != TransferError::None) {
    return status;
  }
  transfer.Start(folder);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return WaitFor(transfer, HasStopped, std::max(left, std::chrono::milliseconds(0)));
}

std::string DescribeStatus(const TransferStatus& s) {
  std::ostringstream out;
  out << "state " << ToNumber(s.state) << " error " << ToNumber(s.error) << " retryable "
      << unsigned(s.retryable) << " completed " << s.completedBytes << " verified "
      << s.verifiedBytes << " downloaded " << s.downloadedBytes << " total " << s.totalBytes;
  return out.str();
}

}  // namespace zarn
