#ifndef ZARN_UPDATER_TRANSFER_SERVICE_IMPL_H_
#define ZARN_UPDATER_TRANSFER_SERVICE_IMPL_H_

#include <memory>
#include <string>

#include "http/curl_http_request_factory.h"
#include "http/http_proxy_factory.h"
#include "http/round_robin_http_session_factory.h"
#include "storage/posix_shared_file_factory.h"
#include "telemetry/json_http_analytics_manager.h"
#include "telemetry/json_work_log_manager.h"
#include "transfer/manifest/xml_http_node_list_manifest_factory.h"
#include "transfer/manifest/xml_http_package_manifest_factory.h"
#include "transfer/optimizer/proportional_gambling_transfer_optimizer.h"
#include "transfer/store/json_temp_file_manifest_store.h"
#include "transfer/store/stored_transfer_factory.h"
#include "transfer/store/temp_file_transfer_manager.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_config.h"
#include "transfer/works/standard_transfer_workflow_factory.h"
#include "updater/transfer_service_api.h"
#include "work/asio_work_manager.h"

namespace zarn {

// What a test replaces in the engine the program builds; each empty field keeps the
// program's own. The working folders are the settings' transfersFolder and logsFolder.
struct TransferServiceOverrides {
  // Chooses the proxy of every request (the program's: the user's settings in the
  // environment).
  std::unique_ptr<HttpProxyFactory> proxyFactory;
  // The analytics endpoints, "host" or "host:port" (the program's: the built-in hosts).
  std::string eventsHost;
  std::string transfersHost;
};

// The composition root: builds every service of the engine from the settings, in the
// order of its members, and destroys them in reverse after suspending every transfer, so
// that the engine pool is joined (dropping queued works) before the work log and then the
// analytics sink drain their queues.
class TransferServiceImpl : public TransferServiceApi {
 public:
  explicit TransferServiceImpl(const TransferConfig& config,
                               TransferServiceOverrides overrides = {});
  ~TransferServiceImpl() override;

  TransferServiceImpl(const TransferServiceImpl&) = delete;
  TransferServiceImpl& operator=(const TransferServiceImpl&) = delete;

  // The transfer with a fresh id, initialized; the empty status when none was made.
  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                const std::string& versionId) override;
  // Unknown ids give state None, no error, the id carried.
  TransferStatus StartTransfer(const std::string& transferId, const std::string& folder) override;
  TransferStatus GetStatus(const std::string& transferId) override;

  // The engine's manager and behavior, for tests that drive transfers themselves.
  TransferManager& Manager() { return manager_; }
  const TransferBehavior& Behavior() const { return behavior_; }

 private:
  RoundRobinHttpSessionFactory sessionFactory_;
  std::unique_ptr<HttpProxyFactory> proxyFactory_;
  CurlHttpRequestFactory requestFactory_;
  PosixSharedFileFactory sharedFileFactory_;
  XmlHttpPackageManifestFactory packageManifestFactory_;
  XmlHttpNodeListManifestFactory nodeListManifestFactory_;
  StandardTransferWorkflowFactory workflowFactory_;
  JsonTempFileManifestStore store_;
  StoredTransferFactory transferFactory_;
  TempFileTransferManager manager_;
  ProportionalGamblingTransferOptimizer optimizer_;
  JsonHttpAnalyticsManager analytics_;
  JsonWorkLogManager workLog_;
  AsioWorkManager engine_;
  TransferBehavior behavior_;
};

// The service the program runs on: a TransferServiceImpl over `config`.
std::unique_ptr<TransferServiceApi> MakeTransferService(const TransferConfig& config);

}  // namespace zarn

#endif  // ZARN_UPDATER_TRANSFER_SERVICE_IMPL_H_
