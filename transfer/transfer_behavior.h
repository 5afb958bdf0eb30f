#ifndef ZARN_TRANSFER_TRANSFER_BEHAVIOR_H_
#define ZARN_TRANSFER_TRANSFER_BEHAVIOR_H_

#include "transfer/transfer_config.h"

namespace zarn {

class EventManager;
class HttpNodeListManifestFactory;
class HttpPackageManifestFactory;
class HttpRequestFactory;
class HttpSessionFactory;
class SharedFileFactory;
class TransferManager;
class TransferOptimizer;
class WorkLogManager;
class WorkManager;

// Everything a transfer and its works need from the engine besides their own identity:
// a copy of the settings and the engine's shared services. The pointers do not own: the
// composition root keeps every service alive for longer than any transfer.
class TransferBehavior {
 public:
  TransferBehavior(const TransferConfig& config, HttpSessionFactory* sessionFactory,
                   HttpRequestFactory* requestFactory, SharedFileFactory* sharedFileFactory,
                   HttpPackageManifestFactory* packageManifestFactory,
                   HttpNodeListManifestFactory* nodeListManifestFactory,
                   TransferManager* transferManager, TransferOptimizer* optimizer,
                   EventManager* analyticsManager, WorkLogManager* logManager,
                   WorkManager* workManager)
      : config(config),
        sessionFactory(sessionFactory),
        requestFactory(requestFactory),
        sharedFileFactory(sharedFileFactory),
        packageManifestFactory(packageManifestFactory),
        nodeListManifestFactory(nodeListManifestFactory),
        transferManager(transferManager),
        optimizer(optimizer),
        analyticsManager(analyticsManager),
        logManager(logManager),
        workManager(workManager) {}
  TransferBehavior(const TransferBehavior& other) = default;
  TransferBehavior& operator=(const TransferBehavior&) = delete;
  virtual ~TransferBehavior() = default;

  TransferConfig config;
  HttpSessionFactory* sessionFactory;
  HttpRequestFactory* requestFactory;
  SharedFileFactory* sharedFileFactory;
  HttpPackageManifestFactory* packageManifestFactory;
  HttpNodeListManifestFactory* nodeListManifestFactory;
  TransferManager* transferManager;
  TransferOptimizer* optimizer;
  EventManager* analyticsManager;
  WorkLogManager* logManager;
  WorkManager* workManager;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_BEHAVIOR_H_
