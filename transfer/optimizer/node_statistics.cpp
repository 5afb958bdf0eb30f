#include "transfer/optimizer/node_statistics.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>

namespace zarn {

void NodeStatistics::Record(const uint64_t& bytes, uint32_t ms, bool failed) {
  allBytes_.Add(bytes);
  totalMs_.Add(std::max<uint32_t>(ms, 1));
  if (failed) {
    errors_.Add(1);
  } else {
    successes_.Add(1);
    goodBytes_.Add(bytes);
  }
}

void NodeStatistics::Write(boost::property_tree::ptree& tree) const {
  const uint32_t errors = errors_.GetValue();
  const uint32_t requests = successes_.GetValue() + errors;
  const uint32_t totalMs = totalMs_.GetValue();
  uint64_t speed = 0;
  if (totalMs != 0) {
    speed = static_cast<uint64_t>(static_cast<double>(goodBytes_.GetValue()) /
                                  (static_cast<double>(totalMs) / 1000.0));
  }
  tree.put("Requests", requests);
  tree.put("Errors", errors);
  tree.put("Bytes", allBytes_.GetValue());
  tree.put("Average Request Speed", speed);
}

double GetSpeedSample(const uint64_t& bytes, uint32_t ms, bool failed) {
  if (failed) return 0.0;
  return static_cast<double>(bytes) * 1000.0 / static_cast<double>(std::max<uint32_t>(ms, 1));
}

}  // namespace zarn
