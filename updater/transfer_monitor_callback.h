#ifndef ZARN_UPDATER_TRANSFER_MONITOR_CALLBACK_H_
#define ZARN_UPDATER_TRANSFER_MONITOR_CALLBACK_H_

#include "transfer/transfer_status.h"

namespace zarn {

// What the monitor reports about a watched transfer, on the monitor's thread.
class TransferMonitorCallback {
 public:
  virtual ~TransferMonitorCallback() = default;
  // Running, no error; the transfer stays watched.
  virtual void OnProgress(const TransferStatus& status) = 0;
  // Initialized; the transfer is no longer watched.
  virtual void OnInitialized(const TransferStatus& status) = 0;
  // A retryable error; the transfer is no longer watched.
  virtual void OnRetryableError(const TransferStatus& status) = 0;
  // Ended (None, Suspended, Completed, Canceled, or a fatal error); no longer watched.
  virtual void OnEnd(const TransferStatus& status) = 0;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_TRANSFER_MONITOR_CALLBACK_H_
