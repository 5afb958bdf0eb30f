#include "updater/transfer_monitor_impl.h"

#include <chrono>
#include <new>
#include <system_error>

#include "storage/timestamp.h"
#include "transfer/transfer_status.h"
#include "updater/transfer_monitor_callback.h"
#include "updater/transfer_service.h"

namespace zarn {

TransferMonitorImpl::TransferMonitorImpl(TransferService* service, uint32_t interval)
    : service_(service), interval_(interval) {}

TransferMonitorImpl::~TransferMonitorImpl() { Stop(); }

void TransferMonitorImpl::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_ || stop_) return;
  try {
    thread_ = std::make_unique<std::thread>([this] { Run(); });
  } catch (const std::system_error&) {
    throw std::bad_alloc();  // no memory for the thread's stack, or the process limit
  }
}

void TransferMonitorImpl::Stop() {
  std::unique_ptr<std::thread> thread;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    wake_.notify_all();
    if (!thread_ || thread_->get_id() == std::this_thread::get_id()) return;
    // Taken out under the lock: a second Stop finds no thread and returns.
    thread = std::move(thread_);
  }
  if (thread->joinable()) thread->join();
}

void TransferMonitorImpl::Watch(const std::string& transferId, TransferMonitorCallback* callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  watches_.emplace(transferId, callback);
}

void TransferMonitorImpl::Unwatch(const std::string& transferId) {
  std::lock_guard<std::mutex> lock(mutex_);
  watches_.erase(transferId);
}

bool TransferMonitorImpl::Stopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

std::vector<std::pair<std::string, TransferMonitorCallback*>>
TransferMonitorImpl::SnapshotWatches() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {watches_.begin(), watches_.end()};
}

bool TransferMonitorImpl::WaitInterval() {
  const Timestamp start;
  const uint64_t limit = interval_ * 9 / 10;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const uint64_t elapsed = Timestamp().Since(start);
    if (stop_ || elapsed >= limit) break;
    wake_.wait_for(lock, std::chrono::milliseconds(interval_ - elapsed));
  }
  return !stop_;
}

void TransferMonitorImpl::Run() {
  while (WaitInterval()) {
    try {
      for (const auto& [transferId, callback] : SnapshotWatches()) {
        if (Stopped()) break;
        Dispatch(transferId, callback);
      }
    } catch (...) {
      // The rest of this pass is dropped; the next pass starts after the next wait.
    }
  }
}

void TransferMonitorImpl::Dispatch(const std::string& transferId,
                                   TransferMonitorCallback* callback) {
  const TransferStatus status = service_->GetStatus(transferId);
  const bool error = status.error != TransferError::None;
  const bool retryable = error && status.retryable != 0;
  switch (status.state) {
    case TransferState::None:
    case TransferState::Suspended:
    case TransferState::Completed:
    case TransferState::Canceled:
      Unwatch(transferId);
      callback->OnEnd(status);
      return;
    default:
      break;
  }
  if (error && !retryable) {
    Unwatch(transferId);
    callback->OnEnd(status);
  } else if (status.state == TransferState::Initialized) {
    Unwatch(transferId);
    callback->OnInitialized(status);
    if (retryable) callback->OnRetryableError(status);
  } else if (retryable) {
    Unwatch(transferId);
    callback->OnRetryableError(status);
  } else {
    callback->OnProgress(status);
  }
}

}  // namespace zarn
