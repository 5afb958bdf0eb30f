#include "storage/text_conversion.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zarn {
namespace {

TEST(TextConversionTest, RoundTripsEveryPlane) {
  // Latin with diacritics, CJK, and an emoji outside the basic plane.
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";
  const std::wstring wide = Utf8ToWide(text);
  EXPECT_EQ(wide, (std::wstring{L'G', L'r', 0xFC, 0xDF, L'e', L' ', 0x65E5, 0x672C, L' ', 0xD83D,
                                0xDE00}));  // the emoji as a surrogate pair
  EXPECT_EQ(WideToUtf8(wide), text);
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(TextConversionTest, AcceptsAWholeCodePointInOneWideElement) {
  // A JSON reader with 32-bit wchar_t joins an escaped surrogate pair into one element.
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600))), "\xF0\x9F\x98\x80");
}

TEST(TextConversionTest, RejectsInvalidUtf8WithBadConversion) {
  const std::string cases[] = {
      std::string("a\x80z"),            // lone continuation byte
      std::string("\xE6\x97"),          // truncated sequence
      std::string("\xED\xA0\x80"),      // an encoded surrogate
      std::string("\xC0\xAF"),          // overlong '/'
      std::string("\xF4\x90\x80\x80"),  // above U+10FFFF
      std::string("\xFF"),
  };
  for (const std::string& text : cases) {
    try {
      Utf8ToWide(text);
      ADD_FAILURE() << "accepted " << testing::PrintToString(text);
    } catch (const std::range_error& error) {
      EXPECT_STREQ(error.what(), "bad conversion");
    }
  }
}

TEST(TextConversionTest, RejectsInvalidUtf16WithBadConversion) {
  const std::wstring cases[] = {
      std::wstring(1, static_cast<wchar_t>(0xD83D)),     // lone high
      std::wstring{static_cast<wchar_t>(0xDE00), L'a'},  // lone low
      std::wstring{static_cast<wchar_t>(0xD83D), L'a'},  // high, no low
      std::wstring(1, static_cast<wchar_t>(0x110000)),   // beyond Unicode
  };
  for (const std::wstring& text : cases) {
    try {
      WideToUtf8(text);
      ADD_FAILURE() << "accepted " << text.size() << " elements from " << text[0];
    } catch (const std::range_error& error) {
      EXPECT_STREQ(error.what(), "bad conversion");
    }
  }
}

}  // namespace
}  // namespace zarn
