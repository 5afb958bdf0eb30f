#include "transfer/manifest/xml_manifest_tree.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <string>
#include <utility>

#include "testing/allocation/allocation_seam.h"
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

// The tree's own walks recurse per level, so nesting is bounded; markup that holds no
// elements does not count towards the depth.
TEST(XmlManifestTreeTest, DeepNestingIsAParseErrorNotAStackOverflow) {
  EXPECT_THROW(Parse(Nested(1000000)), ManifestParseException);
  EXPECT_THROW(Parse(Nested(65)), ManifestParseException);
  EXPECT_NO_THROW(Parse(Nested(64)));
  const std::string noElements =
      "<!-- <a><a><a> --><![CDATA[<a><a>]]><?pi <a> ?><b c=\"&lt;a>\" d='>'/><e/>";
  EXPECT_NO_THROW(Parse(Nested(63, noElements)));  // <b/> and <e/> stand at the 64th level
}

// Markup that runs past a first '>' hides no close tags from the depth count: each of these
// would otherwise let the deep nesting after it through.
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
// instructions and attributes (kept, and hoisted segment by segment) all count.
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
  EXPECT_NO_THROW(Parse(repeated("<a/>", kMaxXmlNodes - 1)));
  EXPECT_NO_THROW(Parse(repeated("<a b=''/>", (kMaxXmlNodes - 1) / 4)));
}

// The text is read in pieces: values and tags that straddle them are read whole, as long as
// the reader's own memory holds what it must keep whole.
TEST(XmlManifestTreeTest, LongTokensAreReadWholeWithinTheReaderBound) {
  const std::string checksums(8388608, 'f');  // 2^20 chunks, as text and as an attribute
  const auto file = Parse("<file checksums='" + checksums + "'><size>1</size><checksums>" +
                          checksums + "</checksums></file>");
  EXPECT_EQ(file.get<std::string>("file.<xmlattr>.checksums"), checksums);
  EXPECT_EQ(file.get<std::string>("file.checksums"), checksums);

  const std::string tooLong(kMaxXmlReaderBytes / 2, 'x');
  EXPECT_THROW(Parse("<r a='" + tooLong + "'/>"), ManifestParseException);
  EXPECT_THROW(Parse("<r><!--" + tooLong + "--></r>"), ManifestParseException);
  std::string attributes = "<r";
  for (int i = 0; i < 1000000; ++i) attributes += " a" + std::to_string(i) + "=''";
  EXPECT_THROW(Parse(attributes + "/>"), ManifestParseException);

  // Tags every few bytes over several pieces: the refusals above left the reader's count
  // where it was.
  std::string xml = "<r>";
  const int count = 100000;
  for (int i = 0; i < count; ++i)
    xml += "<a b='" + std::to_string(i) + "'>" + std::to_string(i) + "</a>";
  const auto tree = Parse(xml + "</r>");
  int i = 0;
  for (const auto& a : tree.get_child("r")) {
    ASSERT_EQ(a.second.data(), std::to_string(i)) << i;
    ASSERT_EQ(a.second.get<std::string>("b"), std::to_string(i)) << i;
    ++i;
  }
  EXPECT_EQ(i, count);
}

// The tree as text: each child as key, "=value" when it has one, and its children in
// braces; siblings separated by spaces.
std::string Render(const boost::property_tree::ptree& node) {
  std::string text;
  for (const auto& child : node) {
    if (!text.empty()) text += ' ';
    text += child.first;
    if (!child.second.data().empty()) text += '=' + child.second.data();
    if (!child.second.empty()) text += '{' + Render(child.second) + '}';
  }
  return text;
}

// Render of Nested(depth, value).
std::string NestedRendered(int depth, const std::string& value) {
  std::string text;
  for (int i = 1; i < depth; ++i) text += "a{";
  text += "a=" + value;
  for (int i = 1; i < depth; ++i) text += '}';
  return text;
}

// However many documents a thread reads, each has the reader's whole memory bound: a value
// that expat grows by reallocation leaves nothing counted behind it.
TEST(XmlManifestTreeTest, EveryDocumentOnAThreadHasTheWholeReaderBound) {
  const std::string value(8u << 20, 'f');
  const std::string xml = "<r a='" + value + "'/>";
  for (int i = 0; i < 8; ++i) ASSERT_EQ(Parse(xml).get<std::string>("r.a"), value) << i;
}

// Memory running out anywhere in a read fails it: the tree comes whole or not at all.
TEST(XmlManifestTreeTest, AFailedAllocationFailsTheRead) {
  const std::string xml = "<r a='1'><b c.d='2'>x<!--y--></b><b/>z<![CDATA[w]]></r>";
  const std::string whole = Render(Parse(xml));
  for (std::size_t k = 0;; ++k) {
    std::string text = xml;  // copied before the seam is armed
    boost::property_tree::ptree tree;
    bool refused = false;
    std::size_t failures = 0;
    {
      ScopedFailingAllocation failing(k, ScopedFailingAllocation::kOnce);
      try {
        ParseXmlManifest(std::move(text), tree);
      } catch (const ManifestParseException&) {
        refused = true;
      }
      failures = failing.Failures();
    }
    if (refused) {
      ASSERT_EQ(failures, 1u) << "refused with no allocation failed: " << k;
      continue;
    }
    EXPECT_EQ(Render(tree), whole) << k;
    if (failures == 0) break;  // the read needed fewer than k + 1 allocations
  }
}

constexpr char kRefused[] = "refused";

// Markup characters where they may not stand, constructs left open and bounds hidden behind
// them: each document is refused as a parse error, or read into the tree XML says it holds.
TEST(XmlManifestTreeTest, HostileFormsAreRefusedOrReadAsWritten) {
  using namespace std::string_literals;  // for the documents that hold a NUL
  std::string manyNodes = "<r=\"x>";
  for (int i = 0; i < 4000000; ++i) manyNodes += "<a/>";
  const std::pair<std::string, std::string> cases[] = {
      {"<r\"/>", kRefused},
      {"<r a\"b='1'/>", kRefused},
      {"<r a='1\"/>", kRefused},
      {"<r a='\"' b=\"'\">\"'</r>", "r=\"'{<xmlattr>{a=\" b='} a=\" b='}"},
      {"<r=/>", kRefused},
      {"<r a=b='1'/>", kRefused},
      {"<r a='x=y'/>", "r{<xmlattr>{a=x=y} a=x=y}"},
      {"<r<a/>", kRefused},
      {"<r a<b='1'/>", kRefused},
      {"<r a='<'/>", kRefused},
      {"<r a='&lt;'>&lt;&#65;&#x42;</r>", "r=<AB{<xmlattr>{a=<} a=<}"},
      {"<r a>='1'/>", kRefused},
      {"<r a='>' b='/>'>x>y</r>", "r=x>y{<xmlattr>{a=> b=/>} a=> b=/>}"},
      {"<r/a/>", kRefused},
      {"<r a/b='1'/>", kRefused},
      {"<r>a/b</a/b>", kRefused},
      {"<r?/>", kRefused},
      {"<r a?='1'/>", kRefused},
      {"<r a='?>'>?</r>", "r=?{<xmlattr>{a=?>} a=?>}"},
      {"<r!/>", kRefused},
      {"<r a!='1'/>", kRefused},
      {"<r a='<!--'/>", kRefused},
      {"<r a='!'>!</r>", "r=!{<xmlattr>{a=!} a=!}"},
      {"<r><!-- x --></r>", "r{<xmlcomment>= x }"},
      {"<r>a<![CDATA[<b>&]]>c<?pi <d>?>e</r>", "r=a<b>&ce"},
      {"<r a='1\n2\t3'/>", "r{<xmlattr>{a=1 2 3} a=1 2 3}"},  // as XML normalises values
      {"<r>&undeclared;</r>", kRefused},
      {"<r>&lt</r>", kRefused},
      {"<r>a & b</r>", kRefused},
      // Constructs left open.
      {"<r><!-- x </r>", kRefused},
      {"<r><!-- x -- y --></r>", kRefused},
      {"<r><![CDATA[ x </r>", kRefused},
      {"<r><?pi x </r>", kRefused},
      {"<r a='x></r>", kRefused},
      {"<r a='x'", kRefused},
      {"<r", kRefused},
      {"<r>", kRefused},
      {"<r></r", kRefused},
      {"<r/><!--", kRefused},
      // What the XML reader alone refuses.
      {"<r></a>", kRefused},
      {"<r/><s/>", kRefused},
      {"<r a='1' a='2'/>", kRefused},
      {"", kRefused},
      // The bytes stand as they are, whatever the declaration says, UTF-8 or not; a
      // character reference reads as its UTF-8, also where it names what a byte reads as.
      {"\xef\xbb\xbf<?xml version='1.0' encoding='utf-16'?><r>\xc3\xa9</r>", "r=\xc3\xa9"},
      {"<r>\xff</r>", "r=\xff"},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><r><!-- caf\xe9 --></r>",
       "r{<xmlcomment>= caf\xe9 }"},
      {"<file path='a\xc3(\x80\xbf\xc0.bin'/>",
       "file{<xmlattr>{path=a\xc3(\x80\xbf\xc0.bin} path=a\xc3(\x80\xbf\xc0.bin}"},
      {"<caf\xe9 \xff='1'>\xe4\xb8\xad</caf\xe9>",
       "caf\xe9=\xe4\xb8\xad{<xmlattr>{\xff=1} \xff=1}"},
      {"<r a='&#233;\xe9&#x4E69;\r\n&lt;\xe9'>&#233;\xe9&#x4E69;&lt;\xe9</r>",
       "r=\xc3\xa9\xe9\xe4\xb9\xa9<\xe9{<xmlattr>{a=\xc3\xa9\xe9\xe4\xb9\xa9 <\xe9} "
       "a=\xc3\xa9\xe9\xe4\xb9\xa9 <\xe9}"},
      {"<r><![CDATA[&#233;\xe9]]>&#xe9;</r>", "r=&#233;\xe9\xc3\xa9"},
      {"<r>a\r\nb\rc\xe9<![CDATA[\r\n]]></r>", "r=a\nb\nc\xe9\n"},  // line breaks as XML reads them
      // White space before the declaration, and everything from the first NUL on, is no
      // part of the document; a document that starts as UTF-16 is decoded.
      {"\n \t<?xml version='1.0'?><r/>", "r"},
      {"\xef\xbb\xbf\r\n<?xml version='1.0'?><r>x</r>", "r=x"},
      {"<r>x</r>\0\0<s/>junk"s, "r=x"},
      {"\xff\xfe<\0r\0>\0\xe9\0<\0/\0r\0>\0"s, "r=\xc3\xa9"},
      {"\n<!DOCTYPE r><r/>", kRefused},
      {"<r>x\0</r>"s, kRefused},
      // The bounds, also behind a quote that opens no value.
      {"<r=\"x>" + Nested(100000), kRefused},
      {manyNodes, kRefused},
      {Nested(kMaxXmlDepth, "x"), NestedRendered(kMaxXmlDepth, "x")},
      {Nested(kMaxXmlDepth + 1, "x"), kRefused},
      {"\n" + Nested(kMaxXmlDepth + 1, "x"), kRefused},
  };
  for (const auto& c : cases) {
    const std::string shown = c.first.substr(0, 40);
    try {
      EXPECT_EQ(Render(Parse(c.first)), c.second) << shown;
    } catch (const ManifestParseException& e) {
      EXPECT_EQ(c.second, kRefused) << shown;
      EXPECT_STREQ(e.what(), "") << shown;
    }
  }
}

}  // namespace
}  // namespace zarn
