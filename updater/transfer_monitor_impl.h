#ifndef ZARN_UPDATER_TRANSFER_MONITOR_IMPL_H_
#define ZARN_UPDATER_TRANSFER_MONITOR_IMPL_H_

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zarn {

class TransferMonitorCallback;
class TransferService;

// Polls every watched transfer on a thread of its own about every `interval` ms and turns
// each status into one callback. The lock guards the watch map and the stop flag; it is
// never held while the service or a callback runs, so callbacks may block and may call
// Watch and Unwatch.
class TransferMonitorImpl {
 public:
  // The service is not owned and must outlive the monitor.
  explicit TransferMonitorImpl(TransferService* service, uint32_t interval = 100);
  ~TransferMonitorImpl();

  TransferMonitorImpl(const TransferMonitorImpl&) = delete;
  TransferMonitorImpl& operator=(const TransferMonitorImpl&) = delete;

  // Starts the thread once; a stopped monitor does not start again. A thread that cannot
  // be started raises std::bad_alloc.
  void Start();
  // Stops and joins the thread. May be called more than once; called from the monitor's
  // own thread it only asks the thread to stop.
  void Stop();
  // An id already watched keeps its first callback. The callback is not owned.
  void Watch(const std::string& transferId, TransferMonitorCallback* callback);
  void Unwatch(const std::string& transferId);

 private:
  void Run();
  // Waits one interval (at least 90% of it); false when stopped.
  bool WaitInterval();
  std::vector<std::pair<std::string, TransferMonitorCallback*>> SnapshotWatches();
  bool Stopped();
  void Dispatch(const std::string& transferId, TransferMonitorCallback* callback);

  std::mutex mutex_;
  TransferService* service_;
  uint32_t interval_;
  bool stop_ = false;
  std::condition_variable wake_;
  std::unique_ptr<std::thread> thread_;
  std::map<std::string, TransferMonitorCallback*> watches_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_TRANSFER_MONITOR_IMPL_H_
