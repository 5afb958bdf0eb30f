#include "transfer/transfer_status_impl.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "storage/timestamp.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/transfer_params.h"

namespace zarn {
namespace {

// Milliseconds from earlier to later on the 32-bit timer.
uint32_t Elapsed(uint64_t later, uint64_t earlier) {
  return static_cast<uint32_t>(later - earlier);
}

bool IsFatal(const TransferStatus& status) {
  return status.error != TransferError::None && status.retryable == 0;
}

bool IsActive(const TransferStatus& status) {
  return status.state == TransferState::Transferring && status.error == TransferError::None;
}

// The estimate is formed in double and clamped: a stalled transfer with few bytes and much
// left would otherwise overflow an i32.
int32_t ClampSeconds(double seconds) {
  if (!(seconds > 0.0)) return 0;
  if (seconds >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(seconds);
}

}  // namespace

TransferStatusImpl::TransferStatusImpl(const TransferParams* params, uint32_t rateWindow,
                                       uint32_t estimateInterval)
    : params_(params),
      status_(TransferStatus::MakeForId(params->transferId, TransferState::Initializing)),
      rateWindow_(rateWindow),
      estimateInterval_(estimateInterval) {}

void TransferStatusImpl::AddCompleted(const uint64_t& amount) {
  completedBytes_.fetch_add(amount, std::memory_order_relaxed);
}

void TransferStatusImpl::SubtractCompleted(const uint64_t& amount) {
  completedBytes_.fetch_sub(amount, std::memory_order_relaxed);
}

void TransferStatusImpl::AddVerified(const uint64_t& amount) {
  verifiedBytes_.fetch_add(amount, std::memory_order_relaxed);
}

void TransferStatusImpl::AddDownloaded(const uint64_t& amount) { downloadedBytes_.Add(amount); }

void TransferStatusImpl::SetPackage(const std::shared_ptr<PackageManifest>& package) {
  status_.runFile = package->GetRun();
  status_.totalBytes = GetPackageTotalSize(*package);
}

TransferStatus TransferStatusImpl::GetSnapshot() {
  const uint64_t now = Timestamp().Milliseconds();
  TransferStatus snapshot = status_.Copy();
  snapshot.transferId = params_->transferId;
  snapshot.partnerId = params_->partnerId;
  snapshot.packageId = params_->packageId;
  snapshot.versionId = params_->versionId;
  snapshot.destPath = params_->destPath;
  if (snapshot.state != TransferState::Completed) snapshot.runFile.clear();
  snapshot.downloadedBytes = downloadedBytes_.GetValue();
  snapshot.completedBytes = completedBytes_.load(std::memory_order_relaxed);
  snapshot.verifiedBytes = verifiedBytes_.load(std::memory_order_relaxed);
  // The estimate measures the time since the previous snapshot's sample, so it comes
  // before this snapshot takes its own.
  snapshot.secondsRemaining = GetSecondsRemaining(snapshot, now);
  snapshot.bytesPerSecond = GetBytesPerSecond(snapshot, now);
  return snapshot;
}

uint64_t TransferStatusImpl::GetBytesPerSecond(const TransferStatus& snapshot, uint64_t now) {
  const bool sampling =
      (snapshot.state == TransferState::Transferring || snapshot.state == TransferState::Paused) &&
      !IsFatal(snapshot);
  if (sampling) {
    samples_.push_back(TransferSample{now, snapshot.downloadedBytes});
    while (samples_.size() > 2 && Elapsed(now, samples_.front().time) / 1000 >= rateWindow_) {
      samples_.pop_front();
    }
    wasActive_ = IsActive(snapshot);
  }
  if (samples_.size() < 2) return 0;
  const TransferSample& first = samples_.front();
  const TransferSample& last = samples_.back();
  const uint64_t bytes = last.downloadedBytes > first.downloadedBytes
                             ? last.downloadedBytes - first.downloadedBytes
                             : 0;
  const uint64_t seconds = Elapsed(last.time, first.time) / 1000;
  // A window of 0 is not a valid setting; it must not divide by zero either.
  const uint64_t divisor = std::max<uint64_t>({seconds, rateWindow_, 1});
  return bytes / divisor;
}

int32_t TransferStatusImpl::GetSecondsRemaining(const TransferStatus& snapshot, uint64_t now) {
  if (snapshot.downloadedBytes > 0 && IsActive(snapshot) && !samples_.empty() && wasActive_) {
    activeTime_.Add(Elapsed(now, samples_.back().time));
  }
  const uint64_t active = activeTime_.GetValue();
  if (active == 0 || snapshot.downloadedBytes == 0) return -1;
  if (IsActive(snapshot) && active < estimateInterval_ + lastEstimateTime_) {
    return lastEstimate_;
  }
  const uint64_t remaining = snapshot.totalBytes > snapshot.completedBytes
                                 ? snapshot.totalBytes - snapshot.completedBytes
                                 : 0;
  const double estimate = std::ceil(static_cast<double>(active) /
                                    (static_cast<double>(snapshot.downloadedBytes) * 1000.0) *
                                    static_cast<double>(remaining));
  lastEstimate_ = ClampSeconds(estimate);
  lastEstimateTime_ = active;
  return lastEstimate_;
}

}  // namespace zarn
