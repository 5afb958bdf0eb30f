#ifndef ZARN_E2E_TEST_ENGINE_H_
#define ZARN_E2E_TEST_ENGINE_H_

// The whole transfer engine, the program's own composition root (TransferServiceImpl),
// with the manifest host, the analytics endpoints and the working folders of a test and
// no proxy. Every wait is bounded.
//
//   TestEngine engine(TestEngine::FastConfig(manifests.Host(), "e2e-run-1"));
//   std::shared_ptr<Transfer> t = engine.Create("PARTNER", "PKG", "1.0");
//   TransferStatus end = engine.RunToEnd(t, folder, std::chrono::seconds(60));

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "transfer/transfer_config.h"
#include "transfer/transfer_status.h"

namespace zarn {

class HttpProxyFactory;
class Transfer;
class TransferManager;
class TransferBehavior;

class TestEngine {
 public:
  // Settings that keep failing cases short (small time-outs, few manifest retries) with
  // the given manifest host and working folders below `workFolder` (relative to the
  // temporary folder, as the settings' folders are).
  static TransferConfig FastConfig(const std::string& manifestHost, const std::string& workFolder);

  // analyticsHost: "host:port" that receives the analytics posts ("" sends them to a port
  // on 127.0.0.1 where nothing listens, so that they fail at once). proxies: where every
  // session gets its proxy (it must outlive the engine); none connects directly.
  explicit TestEngine(const TransferConfig& config, const std::string& analyticsHost = "",
                      HttpProxyFactory* proxies = nullptr);
  ~TestEngine();  // the program's shut-down
  TestEngine(const TestEngine&) = delete;
  TestEngine& operator=(const TestEngine&) = delete;

  const TransferConfig& Config() const;
  TransferManager& Manager();
  const TransferBehavior& Behavior();

  // A new transfer through the manager, initialised (manifests fetched in the background).
  std::shared_ptr<Transfer> Create(const std::string& partnerId, const std::string& packageId,
                                   const std::string& versionId);

  // Polls the transfer until `done` holds for its status or `timeout` passes; returns the
  // last status either way.
  static TransferStatus WaitFor(Transfer& transfer,
                                const std::function<bool(const TransferStatus&)>& done,
                                std::chrono::milliseconds timeout);

  // Waits for the end of initialisation, starts the transfer into folder when it got
  // there, and waits for the end. The status answered is the last one seen: Completed,
  // an error (retryable or fatal), or whatever it was when the time ran out.
  static TransferStatus RunToEnd(Transfer& transfer, const std::string& folder,
                                 std::chrono::milliseconds timeout);

  // True when the transfer has ended for the application: a final state, or any error.
  static bool HasStopped(const TransferStatus& status);

 private:
  struct Services;
  std::unique_ptr<Services> services_;
};

// A readable one-line summary of a status, for test messages.
std::string DescribeStatus(const TransferStatus& status);

}  // namespace zarn

#endif  // ZARN_E2E_TEST_ENGINE_H_
