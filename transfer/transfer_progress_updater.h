#ifndef ZARN_TRANSFER_TRANSFER_PROGRESS_UPDATER_H_
#define ZARN_TRANSFER_TRANSFER_PROGRESS_UPDATER_H_

#include <cstdint>

namespace zarn {

// How the works count a transfer's progress, from many threads at once and without the
// transfer's lock. Completed can fall back (a chunk fetched again); verified only grows.
class TransferProgressUpdater {
 public:
  virtual ~TransferProgressUpdater() = default;
  virtual void AddCompleted(const uint64_t& amount) = 0;
  virtual void SubtractCompleted(const uint64_t& amount) = 0;
  virtual void AddVerified(const uint64_t& amount) = 0;
  virtual void AddDownloaded(const uint64_t& amount) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_PROGRESS_UPDATER_H_
