#ifndef ZARN_WORK_WORK_DESCRIPTOR_H_
#define ZARN_WORK_WORK_DESCRIPTOR_H_

#include <boost/property_tree/ptree_fwd.hpp>

namespace zarn {

// Anything that can write its fields into a property tree: works, statuses, payloads and
// transfer parameters. Describing never changes the object.
class WorkDescriptor {
 public:
  virtual ~WorkDescriptor() = default;
  virtual void Describe(boost::property_tree::ptree& tree) const = 0;

 protected:
  WorkDescriptor() = default;
  WorkDescriptor(const WorkDescriptor&) = default;
  WorkDescriptor& operator=(const WorkDescriptor&) = default;
};

}  // namespace zarn

#endif  // ZARN_WORK_WORK_DESCRIPTOR_H_
