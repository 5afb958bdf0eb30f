#ifndef ZARN_WORK_WORK_STATUS_DATA_H_
#define ZARN_WORK_WORK_STATUS_DATA_H_

#include <string>

#include "work/work_descriptor.h"

namespace zarn {

// The payload of a WorkStatus. Payloads are immutable once made and shared between threads.
// Payload kinds that may be combined (an engine payload that is also an error or exception
// payload) derive from this class virtually, so that one object holds one WorkStatusData.
class WorkStatusData : public WorkDescriptor {
 public:
  // A one-line text of the payload; empty unless a payload kind says more.
  virtual std::string ToString() const;
};

}  // namespace zarn

#endif  // ZARN_WORK_WORK_STATUS_DATA_H_
