#include "transfer/events/transfer_event.h"

#include <boost/property_tree/ptree.hpp>

#include "telemetry/event_kind.h"
#include "telemetry/event_manager.h"
#include "telemetry/track_event_work.h"
#include "telemetry/work_log_manager.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/transfer_status_data.h"
#include "transfer/transfer_status_impl.h"
#include "transfer/transfer_work_interface.h"

namespace zarn {

using boost::property_tree::ptree;

TransferEvent::TransferEvent(const std::shared_ptr<TransferWorkInterface>& source,
                             const std::string& name)
    : params_(source->GetParams()),
      behavior_(source->GetBehavior()),
      nodeList_(source->GetNodeList()),
      name_(name) {}

TransferEvent::~TransferEvent() = default;

void TransferEvent::Fire() {
  Track();
  Log();
}

void TransferEvent::TrackRequest(uint32_t kind, const OutputManifest& request) {
  EventManager* sink = behavior_.analyticsManager;
  std::shared_ptr<TrackEventWork> work = sink->CreateEventWork(kind);
  request.Write(work->GetTree());
  sink->PostEvent(work);
}

void TransferEvent::Log() {
  EventManager* sink = behavior_.logManager;
  std::shared_ptr<TrackEventWork> work = sink->CreateEventWork(EventKind::Transfer);
  ptree& tree = work->GetTree();
  tree.put("event", name_);
  ptree params;
  params_.Describe(params);
  tree.put_child("params", params);
  sink->PostEvent(work);
}

TransferEvent::StatusDeltas TransferEvent::TakeDeltas(TransferStatusImpl& status) {
  StatusDeltas deltas;
  deltas.durationMs = status.GetActiveTime().TakeDelta();
  deltas.bytes = status.GetDownloadedBytes().TakeDelta();
  deltas.state = status.GetStatus().state;
  return deltas;
}

void TransferEvent::TrackWithNodes(const OutputManifest* first) {
  EventManager* sink = behavior_.analyticsManager;
  std::shared_ptr<TrackEventWork> work = sink->CreateEventWork(EventKind::Transfer);
  if (first) first->Write(work->GetTree().push_back(ptree::value_type("", ptree()))->second);
  AppendOptimizerRequests(*work);
  sink->PostEvent(work);
}

void TransferEvent::AppendOptimizerRequests(TrackEventWork& work) {
  if (!nodeList_) return;
  ptree& array = work.GetTree();
  for (const std::shared_ptr<NodeManifest>& node : nodeList_->GetNodes()) {
    NodeStatistics& stats = node->GetStatistics();
    const uint32_t requestTimeMs = stats.TakeTotalMsDelta();
    const uint64_t bytes = stats.TakeAllBytesDelta();
    OptimizerAnalyticsRequest request(params_, bytes, requestTimeMs, node->GetHost());
    request.Write(array.push_back(ptree::value_type("", ptree()))->second);
  }
}

SimpleTransferEvent::SimpleTransferEvent(const std::string& name, const std::string& counterKey,
                                         const std::shared_ptr<TransferWorkInterface>& source)
    : TransferEvent(source, name), eventRequest_(GetParams(), counterKey) {}

void SimpleTransferEvent::Track() { TrackRequest(EventKind::Transfer, eventRequest_); }

TransferStateEvent::TransferStateEvent(TransferState state, uint64_t bytes, uint64_t durationMs,
                                       const std::string& name, const std::string& counterKey,
                                       const std::shared_ptr<TransferWorkInterface>& source)
    : SimpleTransferEvent(name, counterKey, source),
      transferRequest_(GetParams(), state, bytes, durationMs) {}

void TransferStateEvent::Track() {
  TrackRequest(EventKind::Transfer, GetEventRequest());
  TrackRequest(EventKind::TransferAnalytics, transferRequest_);
}

TransferEndEvent::TransferEndEvent(const std::string& name, const std::string& counterKey,
                                   const std::shared_ptr<TransferWorkInterface>& source,
                                   TransferStatusImpl& status)
    : TransferEndEvent(name, counterKey, source, TakeDeltas(status)) {}

TransferEndEvent::TransferEndEvent(TransferState state, const std::string& name,
                                   const std::string& counterKey,
                                   const std::shared_ptr<TransferWorkInterface>& source,
                                   TransferStatusImpl& status)
    : TransferEndEvent(name, counterKey, source, [&] {
        StatusDeltas deltas = TakeDeltas(status);
        deltas.state = state;
        return deltas;
      }()) {}

TransferEndEvent::TransferEndEvent(const std::string& name, const std::string& counterKey,
                                   const std::shared_ptr<TransferWorkInterface>& source,
                                   const StatusDeltas& deltas)
    : TransferStateEvent(deltas.state, deltas.bytes, deltas.durationMs, name, counterKey, source) {}

void TransferEndEvent::Track() {
  TrackRequest(EventKind::TransferAnalytics, GetTransferRequest());
  TrackWithNodes(&GetEventRequest());
}

namespace {

std::string ErrorText(const std::shared_ptr<TransferStatusData>& error) {
  return error ? error->ToString() : std::string();
}

}  // namespace

TransferErrorEvent::TransferErrorEvent(const std::string& name, const std::string& counterKey,
                                       const std::shared_ptr<TransferWorkInterface>& source,
                                       TransferStatusImpl& status,
                                       const std::shared_ptr<TransferStatusData>& error)
    : TransferErrorEvent(name, counterKey, source, TakeDeltas(status), ErrorText(error)) {}

TransferErrorEvent::TransferErrorEvent(const std::string& name, const std::string& counterKey,
                                       const std::shared_ptr<TransferWorkInterface>& source,
                                       const StatusDeltas& deltas, const std::string& errorText)
    : TransferEvent(source, name),
      errorRequest_(GetParams(), counterKey, errorText),
      transferRequest_(GetParams(), deltas.state, deltas.bytes, deltas.durationMs) {}

void TransferErrorEvent::Track() {
  if (transferRequest_.GetBytes() > 0 || transferRequest_.GetDurationMs() > 0) {
    TrackRequest(EventKind::TransferAnalytics, transferRequest_);
  }
  TrackWithNodes(&errorRequest_);
}

TransferPeriodicEvent::TransferPeriodicEvent(const std::shared_ptr<TransferWorkInterface>& source,
                                             TransferStatusImpl& status)
    : TransferPeriodicEvent(source, TakeDeltas(status)) {}

TransferPeriodicEvent::TransferPeriodicEvent(const std::shared_ptr<TransferWorkInterface>& source,
                                             const StatusDeltas& deltas)
    : TransferEvent(source, "PeriodicUpdate"),
      transferRequest_(GetParams(), deltas.state, deltas.bytes, deltas.durationMs) {}

void TransferPeriodicEvent::Track() {
  TrackRequest(EventKind::TransferAnalytics, transferRequest_);
  TrackWithNodes(nullptr);
}

}  // namespace zarn
