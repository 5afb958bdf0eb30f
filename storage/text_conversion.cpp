#include "storage/text_conversion.h"

#include <cstdint>
#include <stdexcept>

namespace zarn {
namespace {

[[noreturn]] void BadConversion() { throw std::range_error("bad conversion"); }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes the code point at text[i], moving i past it. Rejects truncated and overlong
// sequences, lone continuation bytes, encoded surrogates and values above 0x10FFFF.
uint32_t DecodeUtf8(const std::string& text, std::size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  int extra;
  uint32_t code;
  uint32_t minimum;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, code = lead & 0x07, minimum = 0x10000;
  } else {
    BadConversion();
  }
  if (text.size() - i <= static_cast<std::size_t>(extra)) BadConversion();
  for (int k = 1; k <= extra; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[i + k]);
    if (!IsContinuation(c)) BadConversion();
    code = (code << 6) | (c & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || IsSurrogate(code)) BadConversion();
  i += extra + 1;
  return code;
}

void EncodeUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::wstring Utf8ToWide(const std::string& utf8) {
  std::wstring wide;
  wide.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const uint32_t code = DecodeUtf8(utf8, i);
    if (code < 0x10000) {
      wide += static_cast<wchar_t>(code);
    } else {
      wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
      wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return wide;
}

std::string WideToUtf8(const std::wstring& wide) {
  std::string utf8;
  utf8.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(wide[i]);
    if (code >= 0xD800 && code <= 0xDBFF) {
      const uint32_t low = i + 1 < wide.size() ? static_cast<uint32_t>(wide[i + 1]) : 0;
      if (low < 0xDC00 || low > 0xDFFF) BadConversion();
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (IsSurrogate(code) || code > 0x10FFFF) {
      BadConversion();
    }
    EncodeUtf8(code, utf8);
  }
  return utf8;
}

}  // namespace zarn
