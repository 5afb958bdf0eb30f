#ifndef ZARN_TRANSFER_EVENTS_TRANSFER_EVENT_H_
#define ZARN_TRANSFER_EVENTS_TRANSFER_EVENT_H_

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/events/event_analytics_request.h"
#include "transfer/events/transfer_analytics_request.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status.h"

namespace zarn {

class NodeListManifest;
class TransferStatusData;
class TransferStatusImpl;
class TransferWorkInterface;
class TrackEventWork;

// One step of a transfer's life, reported as analytics posts and one work-log line. A
// transfer builds an event under its own lock (so the status deltas an event takes are
// taken there) and fires it after releasing the lock. Nothing of an event is used after
// Fire returns: the event works it posts own their trees.
class TransferEvent {
 public:
  TransferEvent(const std::shared_ptr<TransferWorkInterface>& source, const std::string& name);
  TransferEvent(const TransferEvent&) = delete;
  TransferEvent& operator=(const TransferEvent&) = delete;
  virtual ~TransferEvent();

  // Track, then Log.
  virtual void Fire();
  virtual void Track() = 0;
  // Posts `request` to the analytics sink as an event of `kind`.
  virtual void TrackRequest(uint32_t kind, const OutputManifest& request);
  // Posts the work-log line: "event" = the name, "params" = the transfer's identity.
  virtual void Log();

 protected:
  // The growth of a transfer's counters since the previous report, and its state.
  struct StatusDeltas {
    uint64_t durationMs;
    uint64_t bytes;
    TransferState state;
  };
  // Takes the active-time delta, then the downloaded-bytes delta, then reads the state.
  static StatusDeltas TakeDeltas(TransferStatusImpl& status);

  // Posts, as kind 1, an array of `first` (when given) followed by the optimizer requests.
  void TrackWithNodes(const OutputManifest* first);
  // Appends to the array in `work`'s tree one optimizer request per node of the node list,
  // with the node's bytes and request time since the last report.
  void AppendOptimizerRequests(TrackEventWork& work);

  const TransferParams& GetParams() const { return params_; }

 private:
  TransferParams params_;
  TransferBehavior behavior_;
  std::shared_ptr<NodeListManifest> nodeList_;
  std::string name_;
};

// Counts one occurrence ("numStarts" and the like).
class SimpleTransferEvent : public TransferEvent {
 public:
  SimpleTransferEvent(const std::string& name, const std::string& counterKey,
                      const std::shared_ptr<TransferWorkInterface>& source);
  void Track() override;

 protected:
  const SimpleEventAnalyticsRequest& GetEventRequest() const { return eventRequest_; }

 private:
  SimpleEventAnalyticsRequest eventRequest_;
};

// Counts one occurrence and reports a state with its progress.
class TransferStateEvent : public SimpleTransferEvent {
 public:
  TransferStateEvent(TransferState state, uint64_t bytes, uint64_t durationMs,
                     const std::string& name, const std::string& counterKey,
                     const std::shared_ptr<TransferWorkInterface>& source);
  void Track() override;

 protected:
  const TransferAnalyticsRequest& GetTransferRequest() const { return transferRequest_; }

 private:
  TransferAnalyticsRequest transferRequest_;
};

// The end of a run: its state and progress since the previous report, then the count with
// the nodes' totals.
class TransferEndEvent : public TransferStateEvent {
 public:
  TransferEndEvent(const std::string& name, const std::string& counterKey,
                   const std::shared_ptr<TransferWorkInterface>& source,
                   TransferStatusImpl& status);
  // Reports `state` whatever the status holds.
  TransferEndEvent(TransferState state, const std::string& name, const std::string& counterKey,
                   const std::shared_ptr<TransferWorkInterface>& source,
                   TransferStatusImpl& status);
  void Track() override;

 private:
  TransferEndEvent(const std::string& name, const std::string& counterKey,
                   const std::shared_ptr<TransferWorkInterface>& source,
                   const StatusDeltas& deltas);
};

// An error: the progress since the previous report (only when there is some), then the
// error count with the error's text and the nodes' totals.
class TransferErrorEvent : public TransferEvent {
 public:
  TransferErrorEvent(const std::string& name, const std::string& counterKey,
                     const std::shared_ptr<TransferWorkInterface>& source,
                     TransferStatusImpl& status, const std::shared_ptr<TransferStatusData>& error);
  void Track() override;

 private:
  TransferErrorEvent(const std::string& name, const std::string& counterKey,
                     const std::shared_ptr<TransferWorkInterface>& source,
                     const StatusDeltas& deltas, const std::string& errorText);

  ErrorAnalyticsRequest errorRequest_;
  TransferAnalyticsRequest transferRequest_;
};

// The periodic progress report of a running transfer; it writes no work-log line.
class TransferPeriodicEvent : public TransferEvent {
 public:
  TransferPeriodicEvent(const std::shared_ptr<TransferWorkInterface>& source,
                        TransferStatusImpl& status);
  void Track() override;
  void Log() override {}

 private:
  TransferPeriodicEvent(const std::shared_ptr<TransferWorkInterface>& source,
                        const StatusDeltas& deltas);

  TransferAnalyticsRequest transferRequest_;
};

class TransferInitializeEvent : public SimpleTransferEvent {
 public:
  explicit TransferInitializeEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : SimpleTransferEvent("Initialize", "numInitializes", source) {}
};

class TransferInitializeCompleteEvent : public SimpleTransferEvent {
 public:
  explicit TransferInitializeCompleteEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : SimpleTransferEvent("InitializeComplete", "numInitializeCompletes", source) {}
};

class TransferPauseEvent : public SimpleTransferEvent {
 public:
  explicit TransferPauseEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : SimpleTransferEvent("Pause", "numPauses", source) {}
};

class TransferResumeEvent : public SimpleTransferEvent {
 public:
  explicit TransferResumeEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : SimpleTransferEvent("Resume", "numResumes", source) {}
};

class TransferRetryEvent : public SimpleTransferEvent {
 public:
  explicit TransferRetryEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : SimpleTransferEvent("Retry", "numRetries", source) {}
};

class TransferStartEvent : public TransferStateEvent {
 public:
  explicit TransferStartEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : TransferStateEvent(TransferState::Transferring, 0, 0, "Start", "numStarts", source) {}
};

class TransferRestoreEvent : public TransferStateEvent {
 public:
  explicit TransferRestoreEvent(const std::shared_ptr<TransferWorkInterface>& source)
      : TransferStateEvent(TransferState::Initializing, 0, 0, "Restore", "numRestores", source) {}
};

class TransferCancelEvent : public TransferEndEvent {
 public:
  TransferCancelEvent(const std::shared_ptr<TransferWorkInterface>& source,
                      TransferStatusImpl& status)
      : TransferEndEvent("Cancel", "numCancels", source, status) {}
};

class TransferSuspendEvent : public TransferEndEvent {
 public:
  TransferSuspendEvent(const std::shared_ptr<TransferWorkInterface>& source,
                       TransferStatusImpl& status)
      : TransferEndEvent(TransferState::Suspended, "Suspend", "numSuspends", source, status) {}
};

class TransferCompleteEvent : public TransferEndEvent {
 public:
  TransferCompleteEvent(const std::shared_ptr<TransferWorkInterface>& source,
                        TransferStatusImpl& status)
      : TransferEndEvent("Complete", "numCompletes", source, status) {}
};

class TransferRetryableErrorEvent : public TransferErrorEvent {
 public:
  TransferRetryableErrorEvent(const std::shared_ptr<TransferWorkInterface>& source,
                              TransferStatusImpl& status,
                              const std::shared_ptr<TransferStatusData>& error)
      : TransferErrorEvent("RetryableError", "numRetryableErrors", source, status, error) {}
};

class TransferFatalErrorEvent : public TransferErrorEvent {
 public:
  TransferFatalErrorEvent(const std::shared_ptr<TransferWorkInterface>& source,
                          TransferStatusImpl& status,
                          const std::shared_ptr<TransferStatusData>& error)
      : TransferErrorEvent("FatalError", "numFatalErrors", source, status, error) {}
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_EVENTS_TRANSFER_EVENT_H_
