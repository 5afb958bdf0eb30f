#ifndef ZARN_TELEMETRY_EVENT_MANAGER_H_
#define ZARN_TELEMETRY_EVENT_MANAGER_H_

#include <cstdint>
#include <memory>

#include "work/asio_work_manager.h"

namespace zarn {

class SimpleWork;
class TrackEventWork;

// The base of every event sink: events are handled off the senders' threads, on a pool
// of the sink's own. Fire and forget: nothing waits for an event or learns its outcome.
//
// Every most-derived sink calls Drain first thing in its destructor, so that whatever is
// queued still runs to its end while the members its works use are alive.
class EventManager {
 public:
  EventManager(const EventManager&) = delete;
  EventManager& operator=(const EventManager&) = delete;
  virtual ~EventManager();

  // A new, empty event work of this sink with the given EventKind bits; nothing queued.
  // Callable from any thread.
  virtual std::shared_ptr<TrackEventWork> CreateEventWork(std::uint32_t kind) = 0;

  // Queues the filled work on the sink's pool and returns at once. Callable from any
  // thread, the sink's own pool threads included.
  virtual void PostEvent(const std::shared_ptr<TrackEventWork>& work);

 protected:
  explicit EventManager(std::uint32_t thread_count);

  // Resets the work (a fresh start, also for a work posted again) and queues it.
  void SubmitWork(const std::shared_ptr<SimpleWork>& work);

  // Lets every queued work run to its end, including works queued meanwhile by running
  // ones, then joins the pool. Call from outside the pool; later posts never run.
  void Drain();

 private:
  AsioWorkManager pool_;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_EVENT_MANAGER_H_
