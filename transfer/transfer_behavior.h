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
// a copy of the settings and the engine's shared services, each assigned by name:
//
//   TransferBehavior behavior(config);
//   behavior.sharedFileFactory = &files;
//
// A service left null is one the transfer's works must not need. The pointers do not own:
// the composition root keeps every service alive for longer than any transfer.
class TransferBehavior {
 public:
  explicit TransferBehavior(const TransferConfig& config) : config(config) {}
  TransferBehavior(const TransferBehavior& other) = default;
  TransferBehavior& operator=(const TransferBehavior&) = delete;
  virtual ~TransferBehavior() = default;

  TransferConfig config;
  HttpSessionFactory* sessionFactory = nullptr;
  HttpRequestFactory* requestFactory = nullptr;
  SharedFileFactory* sharedFileFactory = nullptr;
  HttpPackageManifestFactory* packageManifestFactory = nullptr;
  HttpNodeListManifestFactory* nodeListManifestFactory = nullptr;
  TransferManager* transferManager = nullptr;
  TransferOptimizer* optimizer = nullptr;
  EventManager* analyticsManager = nullptr;
  WorkLogManager* logManager = nullptr;
  WorkManager* workManager = nullptr;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_BEHAVIOR_H_
