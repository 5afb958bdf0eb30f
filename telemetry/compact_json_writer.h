#ifndef ZARN_TELEMETRY_COMPACT_JSON_WRITER_H_
#define ZARN_TELEMETRY_COMPACT_JSON_WRITER_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <iosfwd>

namespace zarn {

// A leaf below the root holding exactly one of these texts is written as {} or [].
inline constexpr char EmptyObjectMarker[] = "boost::property_tree::json_parser::empty_object";
inline constexpr char EmptyArrayMarker[] = "boost::property_tree::json_parser::empty_array";

// Writes `tree` as one compact JSON document followed by a line feed: no whitespace
// between tokens, every leaf a string, a node whose children all have empty keys an
// array (the root included). Bytes below 0x20 or above 0x7F are escaped one by one
// (\u00XX, or \b \f \n \r), as are '"', '\\' and '/'; 0x7F is written as it stands.
//
// Throws boost::property_tree::json_parser::json_parser_error with the message
// "ptree contains data that cannot be represented in JSON format" (nothing written)
// when the root has a value or a node has both a value and children, and with
// "write error" when the stream has failed by the end.
void WriteCompactJson(std::ostream& out, const boost::property_tree::ptree& tree);

// The recursive step: writes `node` as found at `depth` (the root is depth 0).
// Does not check the tree; WriteCompactJson does that first.
void WriteJsonValue(std::ostream& out, const boost::property_tree::ptree& node, int depth);

}  // namespace zarn

#endif  // ZARN_TELEMETRY_COMPACT_JSON_WRITER_H_
