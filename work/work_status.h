#ifndef ZARN_WORK_WORK_STATUS_H_
#define ZARN_WORK_WORK_STATUS_H_

#include <cstdint>
#include <memory>

#include "work/work_descriptor.h"

namespace zarn {

class WorkStatusData;

enum class WorkResult : std::uint8_t {
  Success = 0,         // the work did its job
  Failure = 1,         // ended without error but with a negative answer
  Cancelled = 2,       // stopped because its cancelled flag was set; queued again
  RetryableError = 3,  // transient; retried while the work allows, then the workflow waits
  Error = 4,           // fatal: ends the workflow; the initial status of every run
};

// The outcome of one run of a work: a plain value copied between threads. Copies share the
// payload; the retry flag is each copy's own.
struct WorkStatus : public WorkDescriptor {
  WorkStatus(WorkResult result, std::shared_ptr<WorkStatusData> data = nullptr);

  // "result" (0 to 4), "retry" ("true"/"false") and, only with a payload, the child "data".
  void Describe(boost::property_tree::ptree& tree) const override;

  WorkResult result;
  bool retry;  // for a RetryableError: whether the work runs again; false otherwise
  std::shared_ptr<WorkStatusData> data;
};

}  // namespace zarn

#endif  // ZARN_WORK_WORK_STATUS_H_
