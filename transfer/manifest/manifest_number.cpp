#include "transfer/manifest/manifest_number.h"

#include <cstring>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

bool IsSpace(char c) { return c != '\0' && std::strchr(" \t\r\n\v\f", c) != nullptr; }

}  // namespace

uint64_t ParseManifestDecimal(const std::string& text, uint64_t max) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  if (begin == end) throw ManifestParseException();
  uint64_t value = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw ManifestParseException();
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) throw ManifestParseException();
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace zarn
