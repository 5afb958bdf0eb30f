#ifndef ZARN_TRANSFER_MANIFEST_INPUT_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_INPUT_MANIFEST_H_

#include <boost/property_tree/ptree_fwd.hpp>

namespace zarn {

// A record that fills itself from a property tree. Read throws ManifestParseException when
// the tree does not hold a valid record.
class InputManifest {
 public:
  virtual ~InputManifest() = default;
  virtual void Read(const boost::property_tree::ptree& tree) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_INPUT_MANIFEST_H_
