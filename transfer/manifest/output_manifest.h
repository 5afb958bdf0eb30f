#ifndef ZARN_TRANSFER_MANIFEST_OUTPUT_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_OUTPUT_MANIFEST_H_

#include <boost/property_tree/ptree_fwd.hpp>

namespace zarn {

// A record that writes itself into a property tree without changing itself.
class OutputManifest {
 public:
  virtual ~OutputManifest() = default;
  virtual void Write(boost::property_tree::ptree& tree) const = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_OUTPUT_MANIFEST_H_
