#ifndef ZARN_TELEMETRY_COMPACT_JSON_TEXT_H_
#define ZARN_TELEMETRY_COMPACT_JSON_TEXT_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <string>

namespace zarn {

// WriteCompactJson's document as one string made once at its exact size: the tree is
// written twice, first only to count the bytes, so that a large document never sits in a
// growing buffer beside its copy. Throws what WriteCompactJson throws, and std::bad_alloc.
std::string CompactJsonText(const boost::property_tree::ptree& tree);

}  // namespace zarn

#endif  // ZARN_TELEMETRY_COMPACT_JSON_TEXT_H_
