#ifndef ZARN_STORAGE_TEXT_CONVERSION_H_
#define ZARN_STORAGE_TEXT_CONVERSION_H_

#include <string>

namespace zarn {

// UTF-8 to UTF-16. wchar_t holds 32 bits here, but each element holds one UTF-16 code unit,
// so a character outside the basic plane becomes two elements (a surrogate pair).
// Throws std::range_error("bad conversion") when `utf8` is not valid UTF-8.
std::wstring Utf8ToWide(const std::string& utf8);

// UTF-16 (one code unit per element; a single element above 0xFFFF is also accepted as one
// code point) to UTF-8. Throws std::range_error("bad conversion") on invalid input, such
// as a lone surrogate.
std::string WideToUtf8(const std::wstring& wide);

}  // namespace zarn

#endif  // ZARN_STORAGE_TEXT_CONVERSION_H_
