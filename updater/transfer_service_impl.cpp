#include "updater/transfer_service_impl.h"

#include <utility>

#include "http/environment_http_proxy_factory.h"
#include "transfer/transfer.h"
#include "transfer/transfer_params.h"

namespace zarn {
namespace {

std::unique_ptr<HttpProxyFactory> ProxyFactory(const TransferConfig& config,
                                               std::unique_ptr<HttpProxyFactory> override) {
  if (override) return override;
  return std::make_unique<EnvironmentHttpProxyFactory>(
      config.proxyResolveTimeout, config.proxyConnectTimeout, config.proxySendTimeout,
      config.proxyReceiveTimeout);
}

std::string HostOr(const std::string& host, const std::string& builtIn) {
  return host.empty() ? builtIn : host;
}

}  // namespace

TransferServiceImpl::TransferServiceImpl(const TransferConfig& config,
                                         TransferServiceOverrides overrides)
    : proxyFactory_(ProxyFactory(config, std::move(overrides.proxyFactory))),
      requestFactory_(proxyFactory_.get()),
      packageManifestFactory_(config.manifestHost, &requestFactory_, config.manifestConnectTimeout,
                              config.manifestTimeout),
      nodeListManifestFactory_(config.manifestHost, &requestFactory_, config.manifestConnectTimeout,
                               config.manifestTimeout),
      store_(config.transfersFolder, &sharedFileFactory_),
      transferFactory_(&store_, &workflowFactory_),
      manager_(&store_, &transferFactory_),
      optimizer_(config),
      analytics_(&requestFactory_, sessionFactory_.Create(), config.analyticsConnectTimeout,
                 config.analyticsTimeout, config.analyticsRetryLimit,
                 HostOr(overrides.eventsHost, JsonHttpAnalyticsManager::DefaultEventsHost()),
                 HostOr(overrides.transfersHost, JsonHttpAnalyticsManager::DefaultTransfersHost())),
      workLog_(static_cast<uint32_t>(config.logMask), config.logsFolder, &sharedFileFactory_),
      engine_(config.engineThreads),
      behavior_(config) {
  behavior_.sessionFactory = &sessionFactory_;
  behavior_.requestFactory = &requestFactory_;
  behavior_.sharedFileFactory = &sharedFileFactory_;
  behavior_.packageManifestFactory = &packageManifestFactory_;
  behavior_.nodeListManifestFactory = &nodeListManifestFactory_;
  behavior_.transferManager = &manager_;
  behavior_.optimizer = &optimizer_;
  behavior_.analyticsManager = &analytics_;
  behavior_.logManager = &workLog_;
  behavior_.workManager = &engine_;
}

TransferServiceImpl::~TransferServiceImpl() {
  // Every transfer is suspended first; the members then go in reverse order.
  manager_.Shutdown();
}

TransferStatus TransferServiceImpl::CreateTransfer(const std::string& partnerId,
                                                   const std::string& packageId,
                                                   const std::string& versionId) {
  TransferParams params;
  params.partnerId = partnerId;
  params.packageId = packageId;
  params.versionId = versionId;
  std::shared_ptr<Transfer> transfer = manager_.CreateTransfer(params, behavior_);
  return transfer ? transfer->Initialize() : TransferStatus::MakeEmpty();
}

TransferStatus TransferServiceImpl::StartTransfer(const std::string& transferId,
                                                  const std::string& folder) {
  std::shared_ptr<Transfer> transfer = manager_.GetTransfer(transferId, behavior_);
  return transfer ? transfer->Start(folder)
                  : TransferStatus::MakeForId(transferId, TransferState::None);
}

TransferStatus TransferServiceImpl::GetStatus(const std::string& transferId) {
  std::shared_ptr<Transfer> transfer = manager_.GetTransfer(transferId, behavior_);
  return transfer ? transfer->GetStatus()
                  : TransferStatus::MakeForId(transferId, TransferState::None);
}

std::unique_ptr<TransferServiceApi> MakeTransferService(const TransferConfig& config) {
  return std::make_unique<TransferServiceImpl>(config);
}

}  // namespace zarn
