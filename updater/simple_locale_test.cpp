#include "updater/simple_locale.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace zarn {
namespace {

// Translates from a fixed table and shows the chosen time message with its numbers.
class TableLocale : public SimpleLocale {
 public:
  std::string Translate(const std::string& id) const override {
    auto it = table_.find(id);
    return it == table_.end() ? id : it->second;
  }
  std::string FormatHoursMinutesSeconds(int32_t h, int32_t m, int32_t s) const override {
    return std::to_string(h) + ":" + std::to_string(m) + ":" + std::to_string(s);
  }

 private:
  std::map<std::string, std::string> table_ = {{"{1} and {1} or {2}", "{1} und {1} oder {2}"},
                                               {"Orvask", "Orvask!"}};
};

TEST(SimpleLocaleTest, FillsPlaceholdersAfterTranslation) {
  TableLocale locale;
  EXPECT_EQ(locale.TranslateFormat("{1} and {1} or {2}", "Orvask"), "Orvask! und Orvask! oder {2}");
  EXPECT_EQ(locale.Format("{1} and {1} or {2}", "Orvask"), "Orvask und Orvask oder {2}");
  EXPECT_EQ(locale.Format("{1} and {1} or {2}", "a", "b"), "a und a oder b");
  EXPECT_EQ(locale.TranslateFormat("untranslated {1}", "x"), "untranslated x");
}

TEST(SimpleLocaleTest, FormatsNumbersAndSizes) {
  TableLocale locale;
  EXPECT_EQ(locale.FormatNumber(2.345, 2), "2.35");
  EXPECT_EQ(locale.FormatPercent(0.25, 0), "25%");
  EXPECT_EQ(locale.FormatBytes(0), "0 KB");
  EXPECT_EQ(locale.FormatBytes(1048575), "1024 KB");
  EXPECT_EQ(locale.FormatBytes(1048576), "1.00 MB");
  EXPECT_EQ(locale.FormatBytes(1073741824), "1.00 GB");
  EXPECT_EQ(locale.FormatBytes(0xFFFFFFFFFFFFFFFFull), "17179869184.00 GB");
}

TEST(SimpleLocaleTest, SplitsTheTimeRemainingWithTheRoundingMinute) {
  TableLocale locale;
  const struct {
    int32_t seconds;
    std::string split;
  } cases[] = {
      {0, "0:0:0"},
      {-100, "0:-1:-40"},
      {1, "0:0:1"},
      {60, "0:1:0"},
      {61, "0:2:1"},
      {3600, "1:1:0"},
      {7265, "2:2:5"},
      {-2, "0:0:-2"},
      // Near the top of the range the rounding minute must not overflow.
      {2147483647, "596523:15:7"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(locale.FormatTimeRemaining(c.seconds), c.split) << c.seconds;
  }
  EXPECT_EQ(locale.FormatTimeRemaining(-1), "Calculating time remaining");
}

}  // namespace
}  // namespace zarn
