#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_NUMBER_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_NUMBER_H_

#include <cstdint>
#include <string>

namespace zarn {

// Reads a decimal unsigned number that may have white space around it and must not exceed
// max. No sign, no other character: "-1" is not read as a wrapped 4294967295.
// Throws ManifestParseException otherwise.
uint64_t ParseManifestDecimal(const std::string& text, uint64_t max);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_NUMBER_H_
