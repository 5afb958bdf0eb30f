#ifndef ZARN_UPDATER_TESTING_FAKE_TRANSFER_SERVICE_H_
#define ZARN_UPDATER_TESTING_FAKE_TRANSFER_SERVICE_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "transfer/transfer_status.h"
#include "updater/transfer_service_api.h"

namespace zarn {

// A transfer service for tests: answers GetStatus from a script per transfer id (the last
// status repeats; an unknown id is state None) and records every call in order.
class FakeTransferService : public TransferServiceApi {
 public:
  static TransferStatus Status(const std::string& id, TransferState state,
                               TransferError error = TransferError::None, bool retryable = false) {
    TransferStatus status = TransferStatus::MakeForId(id, state);
    status.error = error;
    status.retryable = retryable ? 1 : 0;
    return status;
  }

  // Statuses that GetStatus(id) returns one after the other.
  void Script(const std::string& id, std::vector<TransferStatus> statuses) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[id] = std::move(statuses);
  }
  // The status CreateTransfer returns for (partner, package).
  void OnCreate(const std::string& packageId, TransferStatus status) {
    std::lock_guard<std::mutex> lock(mutex_);
    creates_[packageId] = std::move(status);
  }

  TransferStatus CreateTransfer(const std::string& partnerId, const std::string& packageId,
                                const std::string& versionId) override {
    Record("create " + partnerId + " " + packageId + " " + versionId);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = creates_.find(packageId);
    return it == creates_.end() ? TransferStatus::MakeEmpty() : it->second;
  }
  TransferStatus StartTransfer(const std::string& transferId, const std::string& folder) override {
    Record("start " + transferId + " " + folder);
    return TransferStatus::MakeForId(transferId, TransferState::Transferring);
  }
  // Runs at the start of every GetStatus, on the caller's thread.
  std::function<void(const std::string& transferId)> on_get;

  TransferStatus GetStatus(const std::string& transferId) override {
    Record("get " + transferId);
    if (on_get) on_get(transferId);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = scripts_.find(transferId);
    if (it == scripts_.end() || it->second.empty()) {
      return TransferStatus::MakeForId(transferId, TransferState::None);
    }
    TransferStatus status = it->second.front();
    if (it->second.size() > 1) it->second.erase(it->second.begin());
    return status;
  }

  std::vector<std::string> Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  int Count(const std::string& call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const std::string& c : calls_) n += c == call;
    return n;
  }
  // Waits until `call` has been made at least `times` times; false after 30 s.
  bool WaitForCall(const std::string& call, int times = 1) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
      int n = 0;
      for (const std::string& c : calls_) n += c == call;
      return n >= times;
    });
  }

 private:
  void Record(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, std::vector<TransferStatus>> scripts_;
  std::map<std::string, TransferStatus> creates_;
  std::vector<std::string> calls_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_TESTING_FAKE_TRANSFER_SERVICE_H_
