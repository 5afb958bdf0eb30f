#ifndef ZARN_WORK_ASIO_WORK_MANAGER_H_
#define ZARN_WORK_ASIO_WORK_MANAGER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "work/work_manager.h"

namespace zarn {

// A fixed pool of threads over one boost.asio io_context. Handlers are taken in posting
// order by whichever thread is free. Destruction stops the pool at once: handlers still
// queued are dropped (their works never run), running ones finish first.
class AsioWorkManager : public WorkManager {
 public:
  // Starts a thread of the pool with the given body; the seam lets tests fail a start.
  using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

  // Starts thread_count threads (none for 0). A thread that cannot be started (no memory
  // for its stack, or the process limit reached: std::system_error) raises std::bad_alloc,
  // as any allocation that fails; the threads already running are stopped and joined
  // before the exception leaves.
  explicit AsioWorkManager(std::uint32_t thread_count);
  AsioWorkManager(std::uint32_t thread_count, const ThreadStarter& start_thread);
  ~AsioWorkManager() override;

  void PostWork(const std::shared_ptr<SimpleWork>& work) override;
  void PostWorkflowWork(WorkflowWorkItem item) override;

  // Draining, for owners that want everything queued to run to its end: release the
  // keep-alive (each thread returns once nothing is queued or running, while running
  // handlers may still post more), then join the threads. Call from outside the pool.
  void ReleaseKeepAlive();
  void Join();
  void Drain();  // ReleaseKeepAlive, then Join

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zarn

#endif  // ZARN_WORK_ASIO_WORK_MANAGER_H_
