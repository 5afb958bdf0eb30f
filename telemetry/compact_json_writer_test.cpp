#include "telemetry/compact_json_writer.h"

#include <gtest/gtest.h>

#include <boost/property_tree/json_parser/error.hpp>
#include <boost/property_tree/ptree.hpp>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace zarn {
namespace {

using boost::property_tree::ptree;
using boost::property_tree::json_parser::json_parser_error;

ptree Leaf(const std::string& value) { return ptree(value); }

// Children in order; keys may repeat or be empty.
ptree Node(const std::vector<std::pair<std::string, ptree>>& children) {
  ptree node;
  for (const auto& child : children) node.push_back(ptree::value_type(child.first, child.second));
  return node;
}

std::string Write(const ptree& tree) {
  std::ostringstream out;
  WriteCompactJson(out, tree);
  return out.str();
}

struct Case {
  const char* name;
  ptree tree;
  std::string expected;
};

TEST(CompactJsonWriterTest, WritesExactBytes) {
  const std::string all_escapes = std::string("\b\f\n\r/\"\\\t") + '\x01' + '\x1F' + '\x00' +
                                  '\x7F' + " !#~" + "\xC3\xA9" + '\xFF';
  const std::string all_escaped =
      "\\b\\f\\n\\r\\/\\\"\\\\\\u0009\\u0001\\u001F\\u0000\x7F !#~\\u00C3\\u00A9\\u00FF";
  const Case cases[] = {
      {"empty root is an array", ptree(), "[]\n"},
      {"one member", Node({{"a", Leaf("x")}}), "{\"a\":\"x\"}\n"},
      {"empty keys make an array", Node({{"", Leaf("x")}, {"", Leaf("y")}}), "[\"x\",\"y\"]\n"},
      {"an empty key among others stays a member", Node({{"", Leaf("x")}, {"k", Leaf("y")}}),
       "{\"\":\"x\",\"k\":\"y\"}\n"},
      {"repeated keys in tree order", Node({{"k", Leaf("1")}, {"j", Leaf("2")}, {"k", Leaf("3")}}),
       "{\"k\":\"1\",\"j\":\"2\",\"k\":\"3\"}\n"},
      {"empty leaf is an empty string", Node({{"a", Leaf("")}}), "{\"a\":\"\"}\n"},
      {"markers", Node({{"o", Leaf(EmptyObjectMarker)}, {"a", Leaf(EmptyArrayMarker)}}),
       "{\"o\":{},\"a\":[]}\n"},
      {"marker with one more byte is a string",
       Node({{"o", Leaf(std::string(EmptyObjectMarker) + "x")}}),
       "{\"o\":\"boost::property_tree::json_parser::empty_objectx\"}\n"},
      {"markers inside an array", Node({{"", Leaf(EmptyObjectMarker)}, {"", Leaf("v")}}),
       "[{},\"v\"]\n"},
      {"nesting",
       Node({{"event", Leaf("e")},
             {"params", Node({{"list", Node({{"", Leaf("1")}, {"", Node({{"b", Leaf("2")}})}})},
                              {"none", ptree()}})}}),
       "{\"event\":\"e\",\"params\":{\"list\":[\"1\",{\"b\":\"2\"}],\"none\":\"\"}}\n"},
      {"escaping of values", Node({{"v", Leaf(all_escapes)}}), "{\"v\":\"" + all_escaped + "\"}\n"},
      {"escaping of keys", Node({{all_escapes, Leaf("v")}}), "{\"" + all_escaped + "\":\"v\"}\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Write(c.tree), c.expected) << c.name;
  }
}

TEST(CompactJsonWriterTest, RefusesUnrepresentableTreesBeforeWriting) {
  ptree root_with_value("x");
  root_with_value.put("a", "b");
  ptree inner_with_both;
  inner_with_both.put("a", "value");
  inner_with_both.put("a.b", "child");
  ptree deep;
  deep.put_child("x.y", inner_with_both);

  for (const ptree* tree : {&root_with_value, &inner_with_both, &deep}) {
    std::ostringstream out;
    try {
      WriteCompactJson(out, *tree);
      ADD_FAILURE() << "no exception";
    } catch (const json_parser_error& e) {
      EXPECT_EQ(e.message(), "ptree contains data that cannot be represented in JSON format");
      EXPECT_EQ(e.line(), 0u);
    }
    EXPECT_EQ(out.str(), "");
  }
}

// Accepts `room` bytes, then refuses every further one.
class ShortStreambuf : public std::streambuf {
 public:
  explicit ShortStreambuf(std::size_t room) : room_(room) {}
  std::string written;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (written.size() == room_) return traits_type::eof();
    written.push_back(traits_type::to_char_type(c));
    return c;
  }

 private:
  std::size_t room_;
};

TEST(CompactJsonWriterTest, ReportsAFailedStream) {
  ptree tree;
  tree.put("a", "x");
  for (std::size_t room : {0, 4, 9}) {  // nothing fits; part fits; all but the line feed
    ShortStreambuf buffer(room);
    std::ostream out(&buffer);
    try {
      WriteCompactJson(out, tree);
      ADD_FAILURE() << "no exception with room " << room;
    } catch (const json_parser_error& e) {
      EXPECT_EQ(e.message(), "write error");
    }
    EXPECT_EQ(buffer.written, std::string("{\"a\":\"x\"}").substr(0, room));
  }
}

}  // namespace
}  // namespace zarn
