#ifndef ZARN_UPDATER_TRANSFER_MONITOR_H_
#define ZARN_UPDATER_TRANSFER_MONITOR_H_

#include <memory>
#include <string>

namespace zarn {

class TransferMonitorCallback;
class TransferMonitorImpl;

// The application's handle on the monitor: owns the implementation and forwards to it.
// Destroying it stops and joins the monitor's thread.
class TransferMonitor {
 public:
  explicit TransferMonitor(std::unique_ptr<TransferMonitorImpl> impl);
  ~TransferMonitor();

  TransferMonitor(const TransferMonitor&) = delete;
  TransferMonitor& operator=(const TransferMonitor&) = delete;

  void Start();
  void Stop();
  void Watch(const std::string& transferId, TransferMonitorCallback* callback);
  void Unwatch(const std::string& transferId);

 private:
  std::unique_ptr<TransferMonitorImpl> px_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_TRANSFER_MONITOR_H_
