#ifndef ZARN_TELEMETRY_TRACK_EVENT_WORK_H_
#define ZARN_TELEMETRY_TRACK_EVENT_WORK_H_

#include <boost/property_tree/ptree.hpp>
#include <cstdint>

#include "work/simple_work.h"

namespace zarn {

// One event: a leaf work carrying a property tree and its EventKind bits. A sender gets an
// empty one from a sink (EventManager::CreateEventWork), fills the tree and posts it back
// (EventManager::PostEvent); the sink's own pool runs it. Nobody observes its outcome.
class TrackEventWork : public SimpleWork {
 public:
  // The event tree: filled by the sender before posting, only read afterwards.
  boost::property_tree::ptree& GetTree() { return tree_; }
  const boost::property_tree::ptree& GetTree() const { return tree_; }
  std::uint32_t GetKind() const { return kind_; }

  // An event has nothing to abort.
  void OnCancel() override {}

 protected:
  explicit TrackEventWork(std::uint32_t kind) : kind_(kind) {}

 private:
  boost::property_tree::ptree tree_;
  const std::uint32_t kind_;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_TRACK_EVENT_WORK_H_
