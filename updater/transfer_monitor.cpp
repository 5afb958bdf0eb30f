#include "updater/transfer_monitor.h"

#include <cassert>
#include <utility>

#include "updater/transfer_monitor_impl.h"

namespace zarn {

TransferMonitor::TransferMonitor(std::unique_ptr<TransferMonitorImpl> impl)
    : px_(std::move(impl)) {}

TransferMonitor::~TransferMonitor() = default;

void TransferMonitor::Start() {
  assert(px_ != nullptr);
  px_->Start();
}

void TransferMonitor::Stop() {
  assert(px_ != nullptr);
  px_->Stop();
}

void TransferMonitor::Watch(const std::string& transferId, TransferMonitorCallback* callback) {
  assert(px_ != nullptr);
  px_->Watch(transferId, callback);
}

void TransferMonitor::Unwatch(const std::string& transferId) {
  assert(px_ != nullptr);
  px_->Unwatch(transferId);
}

}  // namespace zarn
