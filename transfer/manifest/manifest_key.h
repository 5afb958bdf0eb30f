#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_KEY_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_KEY_H_

#include <string>
#include <utility>

namespace zarn {

// base when part is empty, else base + "/" + part: a package id with its version.
std::string AppendPathSegment(const std::string& base, const std::string& part);

// (head, tail) around the first "/" of key; without one, (key, ""). Further "/" stay in
// the tail.
std::pair<std::string, std::string> SplitAtFirstSlash(const std::string& key);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_KEY_H_
