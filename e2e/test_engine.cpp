#include "e2e/test_engine.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <thread>

#include "http/environment_http_proxy_factory.h"
#include "testing/http_test_server.h"
#include "transfer/store/transfer_manager.h"
#include "transfer/transfer.h"
#include "updater/transfer_service_impl.h"

namespace zarn {
namespace {

// Hands every session the proxy of a factory the test owns (it outlives the engine).
class ForwardingProxyFactory : public HttpProxyFactory {
 public:
  explicit ForwardingProxyFactory(HttpProxyFactory* target) : target_(target) {}
  std::shared_ptr<HttpProxy> Create() override { return target_->Create(); }

 private:
  HttpProxyFactory* target_;
};

}  // namespace

// The program's composition root with a test's overrides, and a server that takes the
// analytics posts when the test names no host.
struct TestEngine::Services {
  Services(const TransferConfig& c, const std::string& analyticsHost, HttpProxyFactory* proxies)
      : config(c),
        service(config, Overrides(analyticsHost.empty() ? sink.Host() : analyticsHost, proxies)) {}

  static TransferServiceOverrides Overrides(const std::string& analyticsHost,
                                            HttpProxyFactory* proxies) {
    TransferServiceOverrides overrides;
    if (proxies != nullptr) {
      overrides.proxyFactory = std::make_unique<ForwardingProxyFactory>(proxies);
    } else {
      // Tests talk to loopback addresses only: no proxy, whatever the environment says.
      overrides.proxyFactory = std::make_unique<EnvironmentHttpProxyFactory>(
          0, 0, 0, 0, [](const std::string&) { return std::string(); });
    }
    overrides.eventsHost = analyticsHost;
    overrides.transfersHost = analyticsHost;
    return overrides;
  }

  TransferConfig config;
  HttpTestServer sink;  // answers 404 to every post; only its port matters
  TransferServiceImpl service;
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

TestEngine::~TestEngine() = default;

const TransferConfig& TestEngine::Config() const { return services_->config; }
TransferManager& TestEngine::Manager() { return services_->service.Manager(); }
const TransferBehavior& TestEngine::Behavior() { return services_->service.Behavior(); }

std::shared_ptr<Transfer> TestEngine::Create(const std::string& partnerId,
                                             const std::string& packageId,
                                             const std::string& versionId) {
  // Made and initialised by the service, then looked up as the service looks it up.
  const TransferStatus status = services_->service.CreateTransfer(partnerId, packageId, versionId);
  if (status.state == TransferState::None) return nullptr;
  return Manager().GetTransfer(status.transferId, Behavior());
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
      [](const TransferStatus& s) {
        return s.state == TransferState::Initialized || HasStopped(s);
      },
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
