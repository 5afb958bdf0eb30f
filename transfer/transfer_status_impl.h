#ifndef ZARN_TRANSFER_TRANSFER_STATUS_IMPL_H_
#define ZARN_TRANSFER_TRANSFER_STATUS_IMPL_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "transfer/delta_counter.h"
#include "transfer/transfer_progress_updater.h"
#include "transfer/transfer_status.h"

namespace zarn {

class PackageManifest;
struct TransferParams;

// A transfer's progress keeper. The works count bytes through TransferProgressUpdater from
// any thread without a lock; the transfer writes state, error and retryable into
// GetStatus() and takes snapshots, both under its own lock. Each snapshot adds one sample
// of the downloaded bytes, from which the rate over the last rateWindow seconds and the
// seconds remaining are derived.
class TransferStatusImpl : public TransferProgressUpdater {
 public:
  // params must outlive this object; rateWindow in seconds, estimateInterval in
  // milliseconds of active time.
  TransferStatusImpl(const TransferParams* params, uint32_t rateWindow, uint32_t estimateInterval);
  TransferStatusImpl(const TransferStatusImpl&) = delete;
  TransferStatusImpl& operator=(const TransferStatusImpl&) = delete;

  void AddCompleted(const uint64_t& amount) override;
  void SubtractCompleted(const uint64_t& amount) override;
  void AddVerified(const uint64_t& amount) override;
  void AddDownloaded(const uint64_t& amount) override;

  // The current record with the params' identity, the counters, the rate and the
  // estimate. Takes a rate sample. Called under the transfer's lock.
  TransferStatus GetSnapshot();

  // Takes the run path and the total size from the package, once initialized.
  void SetPackage(const std::shared_ptr<PackageManifest>& package);

  // The inner record, whose state, error and retryable fields the transfer writes.
  TransferStatus& GetStatus() { return status_; }

  // Bytes received, and milliseconds spent transferring; the events take their deltas.
  DeltaCounter& GetDownloadedBytes() { return downloadedBytes_; }
  DeltaCounter& GetActiveTime() { return activeTime_; }

 private:
  // One rate sample: the millisecond timer and the bytes downloaded by then.
  struct TransferSample {
    uint64_t time;
    uint64_t downloadedBytes;
  };

  uint64_t GetBytesPerSecond(const TransferStatus& snapshot, uint64_t now);
  int32_t GetSecondsRemaining(const TransferStatus& snapshot, uint64_t now);

  const TransferParams* params_;
  TransferStatus status_;
  std::atomic<uint64_t> completedBytes_{0};
  std::atomic<uint64_t> verifiedBytes_{0};
  DeltaCounter downloadedBytes_;
  DeltaCounter activeTime_;
  uint32_t rateWindow_;
  uint32_t estimateInterval_;
  std::deque<TransferSample> samples_;
  bool wasActive_ = false;
  int32_t lastEstimate_ = -1;
  uint64_t lastEstimateTime_ = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_STATUS_IMPL_H_
