#include "transfer/manifest/xml_manifest_tree.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <string>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

boost::property_tree::ptree Parse(const std::string& xml) {
  boost::property_tree::ptree tree;
  ParseXmlManifest(xml, tree);
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
      "not xml", "<r><a></r",
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

// Markup the reader skips further than a first '>' must not hide close tags from the depth
// count: each of these would otherwise let the deep nesting after it through.
TEST(XmlManifestTreeTest, SkippedMarkupCannotHideCloseTags) {
  std::string closes;
  for (int i = 0; i < 1000; ++i) closes += "</a>";
  const std::pair<const char*, std::string> cases[] = {
      {"processing instruction", "<?pi > " + closes + " ?>"},
      {"declaration", "<?xml version=\"1.0\" > " + closes + " ?>"},
      {"comment opened by <!-->", "<r><!--> " + closes + " --></r>"},
      {"CDATA", "<r><![CDATA[> " + closes + " ]]></r>"},
      {"DOCTYPE with a subset", "<!DOCTYPE r [ <!ENTITY e \"x\"> " + closes + " ]>"},
      {"close tags with nothing open", closes},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(Parse(c.second + Nested(1000)), ManifestParseException) << c.first;
  }
  // A quote the reader takes as part of a name opens no value that could hide markup.
  for (const char* tag : {"<p\">", "<p q'=\"1\">", "<p q = '>'  r=\"\" s\"=''>"}) {
    EXPECT_THROW(Parse(tag + Nested(1000) + "</p>"), ManifestParseException) << tag;
    EXPECT_NO_THROW(Parse(tag + Nested(10) + "</p>")) << tag;
  }
  EXPECT_NO_THROW(Parse("<?pi > </a> ?><!-- > </a> --><r><![CDATA[> </a>]]></r>"));
  EXPECT_EQ(Parse("<r>1<!-->-->2</r>").get<std::string>("r"), "12");
  for (const char* declaration : {"<!DOCTYPE r><r/>", "<!ENTITY e \"x\"><r/>", "<r><!x></r>"}) {
    EXPECT_THROW(Parse(declaration), ManifestParseException) << declaration;
  }
}

std::string DottedName(std::size_t segments) {
  std::string name = "a";
  for (std::size_t i = 1; i < segments; ++i) name += ".a";
  return name;
}

// Hoisting walks an attribute's name one recursive call per segment.
TEST(XmlManifestTreeTest, AttributeNamesHaveAtMost64Segments) {
  const auto tree = Parse("<r " + DottedName(kMaxXmlNameSegments) + "=\"1\"/>");
  EXPECT_EQ(tree.get_child("r").get<std::string>(
                boost::property_tree::ptree::path_type(DottedName(kMaxXmlNameSegments), '.')),
            "1");
  for (std::size_t segments : {kMaxXmlNameSegments + 1, std::size_t(100000)}) {
    EXPECT_THROW(Parse("<r " + DottedName(segments) + "=\"1\"/>"), ManifestParseException)
        << segments;
  }
}

// The tree a document becomes is bounded before it is built: elements, comments,
// instructions (text runs between them are nodes of the reader) and attributes (kept, and
// hoisted segment by segment) all count.
TEST(XmlManifestTreeTest, DocumentsOfTooManyNodesAreRefusedUnread) {
  auto repeated = [](const std::string& piece, std::size_t count) {
    std::string xml = "<r>";
    xml.reserve(piece.size() * count + 8);
    for (std::size_t i = 0; i < count; ++i) xml += piece;
    return xml + "</r>";
  };
  const std::pair<const char*, std::string> cases[] = {
      {"elements", repeated("<a/>", kMaxXmlNodes)},
      {"comments", repeated("<!---->", kMaxXmlNodes)},
      {"text between instructions", repeated("<?x?>y", kMaxXmlNodes)},
      {"attributes", repeated("<a b=''/>", kMaxXmlNodes / 4 + 1)},
      {"dotted attributes", repeated("<a b.c.d=''/>", kMaxXmlNodes / 6 + 1)},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(Parse(c.second), ManifestParseException) << c.first;
  }
}

}  // namespace
}  // namespace zarn
