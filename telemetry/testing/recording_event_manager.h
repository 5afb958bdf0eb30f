#ifndef ZARN_TELEMETRY_TESTING_RECORDING_EVENT_MANAGER_H_
#define ZARN_TELEMETRY_TESTING_RECORDING_EVENT_MANAGER_H_

// Test fixture: a sink whose events record their kind and tree when they run.

#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "telemetry/event_manager.h"
#include "telemetry/track_event_work.h"

namespace zarn {

class RecordingEventManager : public EventManager {
 public:
  struct Event {
    std::uint32_t kind;
    boost::property_tree::ptree tree;
  };

  explicit RecordingEventManager(std::uint32_t threads = 1) : EventManager(threads) {}
  ~RecordingEventManager() override { Drain(); }

  std::shared_ptr<TrackEventWork> CreateEventWork(std::uint32_t kind) override {
    return std::make_shared<RecordingEventWork>(kind, this);
  }

  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

  // Waits until count events have run; false after a generous bound.
  bool WaitForEvents(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ran_.wait_for(lock, std::chrono::seconds(30), [&] { return events_.size() >= count; });
  }

  using EventManager::Drain;

 private:
  class RecordingEventWork : public TrackEventWork {
   public:
    RecordingEventWork(std::uint32_t kind, RecordingEventManager* sink)
        : TrackEventWork(kind), sink_(sink) {}
    WorkStatus ExecuteTask() override {
      sink_->Record(Event{GetKind(), GetTree()});
      return WorkStatus(WorkResult::Success);
    }

   private:
    RecordingEventManager* sink_;
  };

  void Record(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
    ran_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable ran_;
  std::vector<Event> events_;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_TESTING_RECORDING_EVENT_MANAGER_H_
