#include "telemetry/event_manager.h"

#include "telemetry/track_event_work.h"

namespace zarn {

EventManager::EventManager(std::uint32_t thread_count) : pool_(thread_count) {}

EventManager::~EventManager() = default;

void EventManager::PostEvent(const std::shared_ptr<TrackEventWork>& work) { SubmitWork(work); }

void EventManager::SubmitWork(const std::shared_ptr<SimpleWork>& work) {
  work->Reset();
  pool_.PostWork(work);
}

void EventManager::Drain() { pool_.Drain(); }

}  // namespace zarn
