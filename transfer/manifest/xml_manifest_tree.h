#ifndef ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
#define ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstddef>
#include <string>

namespace zarn {

// Bounds on a document from the network, counted in its bytes before it is read, so that
// no markup can hide anything from them: every element, comment, instruction, CDATA
// section and text run of the XML reader's tree begins at a '<', and every attribute
// needs an '='. These two counts bound the reader's nodes, its memory and its nesting.
constexpr std::size_t kMaxXmlMarkup = 1000000;     // '<' bytes
constexpr std::size_t kMaxXmlAttributes = 500000;  // '=' bytes
// Bounds on the tree read, checked before anything else touches it: elements may nest at
// most kMaxXmlDepth deep, and the tree may hold at most kMaxXmlNodes nodes once its
// attributes are hoisted. Elements, comments and an element's attribute holder count one
// each; an attribute counts one where it is kept and one per segment of its dotted name
// where it is hoisted. A node costs a few hundred bytes (bench/transfer_manifest_bench.cpp).
constexpr int kMaxXmlDepth = 64;
constexpr std::size_t kMaxXmlNodes = 500000;
// An attribute name is a path of at most this many '.'-separated segments.
constexpr std::size_t kMaxXmlNameSegments = 64;

// Reads an XML manifest document into tree as the property tree's XML reader does at its
// default settings (elements become children, attributes one "<xmlattr>" child, text and
// CDATA the element's value, comments "<xmlcomment>" children; declarations,
// instructions and a DOCTYPE are skipped), then empties every element value made only of
// white space (attribute values and comments stand as read), then HoistXmlAttributes. The
// text is read in place by rapidxml, the reader's parser, which recurses once per level of
// nesting, which the '<' count bounds: it runs on a stack sized from that count, switched
// to on the calling thread. The bounds are checked on what it read before the tree is
// built, and the text is freed once the tree is. A document past the bounds, or that the
// reader refuses, throws ManifestParseException with an empty message, as does any other
// failure.
void ParseXmlManifest(std::string xml, boost::property_tree::ptree& tree);

// Makes every attribute of every element also readable as a child of that element: the
// "<xmlattr>" child stays, and each attribute's subtree is put at the path its name forms
// (an attribute wins over a child element of the same name). A name that cannot be a path
// (empty, ending in '.', or of more than kMaxXmlNameSegments segments) throws
// ManifestParseException.
void HoistXmlAttributes(boost::property_tree::ptree& node);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
