#include "transfer/transfer_params.h"

#include <boost/property_tree/ptree.hpp>

namespace zarn {
namespace {

// Built during static initialisation, so that it exists before main; reached through
// UnsetText so that other static initialisers may use it in any order.
[[maybe_unused]] const std::string& unsetTextAtStartup = UnsetText();

}  // namespace

const std::string& UnsetText() {
  static const std::string text("?");
  return text;
}

TransferParams::TransferParams()
    : transferId(UnsetText()),
      partnerId(UnsetText()),
      packageId(UnsetText()),
      versionId(UnsetText()),
      destPath(UnsetText()) {}

void TransferParams::Describe(boost::property_tree::ptree& tree) const {
  tree.put("transferId", transferId);
  tree.put("partnerId", partnerId);
  tree.put("packageId", packageId);
  tree.put("versionId", versionId);
  tree.put("destPath", destPath);
}

}  // namespace zarn
