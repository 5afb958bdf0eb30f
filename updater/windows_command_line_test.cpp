#include "updater/windows_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zarn {
namespace {

using Arguments = std::vector<std::string>;

TEST(WindowsCommandLineTest, SplitsByTheWindowsRules) {
  const struct {
    std::string line;
    Arguments arguments;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {" /package \"a b\" /name \"Orvask\"", {"/package", "a b", "/name", "Orvask"}},
      {"\"abc\" d e", {"abc", "d", "e"}},
      {"a\\\\\\b d\"e f\"g h", {"a\\\\\\b", "de fg", "h"}},
      {"a\\\\\\\"b c d", {"a\\\"b", "c", "d"}},
      {"a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}},
      {"\"\" x", {"", "x"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"tab\tseparated", {"tab", "separated"}},
      {"\"unterminated quote", {"unterminated quote"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << c.line;
  }
}

TEST(WindowsCommandLineTest, QuotedValuesComeBackUnchanged) {
  const std::string values[] = {
      "",
      "plain",
      "with space",
      "C:\\Games\\Orvask\\",  // a trailing backslash must not swallow the closing quote
      "1\" /host \"evil",     // a quote must not end the value and add a switch
      "\\\"",
      "\\\\\\",
      "tab\there",
      "\xc3\xa5ngstr\xc3\xb6m",
  };
  for (const std::string& value : values) {
    EXPECT_EQ(SplitCommandLine(" /version " + QuoteArgument(value) + " /log \"3\""),
              (Arguments{"/version", value, "/log", "3"}))
        << value;
  }
  EXPECT_EQ(QuoteArgument("Orvask"), "\"Orvask\"");
  EXPECT_EQ(QuoteArgument("a\"b"), "\"a\\\"b\"");
  EXPECT_EQ(QuoteArgument("dir\\"), "\"dir\\\\\"");
}

}  // namespace
}  // namespace zarn
