#include "transfer/manifest/xml_manifest_tree.h"

#include <sstream>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

boost::property_tree::ptree Parse(const std::string& xml) {
  std::istringstream in(xml);
  boost::property_tree::ptree tree;
  ParseXmlManifest(in, tree);
  return tree;
}

TEST(XmlManifestTreeTest, AttributesBecomeChildrenAndWin) {
  const auto tree = Parse("<r a=\"attr\" b.c=\"nested\"><a>element</a><a>second</a></r>");
  const auto& r = tree.get_child("r");
  EXPECT_EQ(r.get<std::string>("a"), "attr");
  EXPECT_EQ(r.count("a"), 2u);  // the first child is replaced, the second stays
  EXPECT_EQ(r.get<std::string>("b.c"), "nested");
  EXPECT_EQ(r.get<std::string>("<xmlattr>.a"), "attr");  // the attributes stay in place
}

TEST(XmlManifestTreeTest, WhiteSpaceOnlyTextIsEmpty) {
  const auto tree = Parse("<r>\n  <a>  </a>\n  <b> x </b><c a=\" \"/>\n</r>");
  const auto& r = tree.get_child("r");
  EXPECT_EQ(r.data(), "");
  EXPECT_EQ(r.get<std::string>("a"), "");
  EXPECT_EQ(r.get<std::string>("b"), " x ");
  EXPECT_EQ(r.get<std::string>("c.a"), "");
}

TEST(XmlManifestTreeTest, BadInputIsAParseErrorNeverAnAbort) {
  const char* cases[] = {
      "not xml",
      "<r><a></r",
      "<r x.=\"1\"/>",          // a name that cannot be a property tree path
      "<r><s a..=\"1\"/></r>",  // the same, nested
  };
  for (const char* xml : cases) {
    try {
      Parse(xml);
      ADD_FAILURE() << "accepted: " << xml;
    } catch (const ManifestParseException& e) {
      EXPECT_STREQ(e.what(), "") << xml;
    }
  }
}

std::string Nested(int depth, const std::string& inner = "") {
  std::string xml;
  for (int i = 0; i < depth; ++i) xml += "<a>";
  xml += inner;
  for (int i = 0; i < depth; ++i) xml += "</a>";
  return xml;
}

// A hostile document nested deep enough to overflow the reader's recursion is refused
// before it is parsed; markup that holds no elements does not count towards the depth.
TEST(XmlManifestTreeTest, DeepNestingIsAParseErrorNotAStackOverflow) {
  EXPECT_THROW(Parse(Nested(1000000)), ManifestParseException);
  EXPECT_THROW(Parse(Nested(65)), ManifestParseException);
  EXPECT_NO_THROW(Parse(Nested(64)));
  const std::string noElements =
      "<!-- <a><a><a> --><![CDATA[<a><a>]]><?pi <a> ?><b c=\"<a>\" d='>'/><e/>";
  EXPECT_NO_THROW(Parse(Nested(64, noElements)));
}

}  // namespace
}  // namespace zarn
