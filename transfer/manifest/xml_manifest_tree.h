#ifndef ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
#define ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstddef>
#include <string>

namespace zarn {

// Bounds on a document from the network, held while it is read: elements may nest at most
// kMaxXmlDepth deep, and a document may hold at most kMaxXmlNodes nodes. Elements,
// comments, CDATA sections and processing instructions count one each; attributes count
// the nodes they are kept and hoisted as, one more per segment of a dotted name. A node
// costs a few hundred bytes, so a document at the bounds is read in well under 512 MiB
// (bench/transfer_manifest_bench.cpp).
constexpr int kMaxXmlDepth = 64;
constexpr std::size_t kMaxXmlNodes = 500000;
// An attribute name is a path of at most this many '.'-separated segments.
constexpr std::size_t kMaxXmlNameSegments = 64;
// The XML reader's own memory: it holds one tag, comment or instruction whole (and every
// attribute of a tag) before any of it is counted, each byte above 0x7F of it as three.
// Text is read in pieces and needs little.
constexpr std::size_t kMaxXmlReaderBytes = 64u << 20;

// Reads an XML manifest document into tree as the property tree's XML reader does at its
// default settings with comments kept (elements become children, attributes one
// "<xmlattr>" child, text and CDATA the element's value, comments "<xmlcomment>" children;
// the XML declaration and processing instructions are dropped), then every value made only
// of white space emptied (so "<Host>  </Host>" and the indentation between elements read
// as no text), then HoistXmlAttributes. As that reader does, it takes the bytes as they
// stand whatever encoding the declaration names, UTF-8 or not (a character reference reads
// as its UTF-8), skips a UTF-8 byte-order mark and the white space before the first
// markup, and ends the document at its first NUL; a document that starts as UTF-16 does
// is decoded into UTF-8. The text is read twice: once only counting, so that a document
// past the bounds is refused before a tree is built, then building; it is freed before
// the tree is post-processed. A document that is not well-formed XML, is past the bounds
// above or holds a DOCTYPE is refused; no entity is declared, so only the predefined ones
// and character references are expanded, and nothing outside the text is read. Any
// failure throws ManifestParseException with an empty message.
void ParseXmlManifest(std::string xml, boost::property_tree::ptree& tree);

// Makes every attribute of every element also readable as a child of that element: the
// "<xmlattr>" child stays, and each attribute's subtree is put at the path its name forms
// (an attribute wins over a child element of the same name). A name that cannot be a path
// (empty, ending in '.', or of more than kMaxXmlNameSegments segments) throws
// ManifestParseException.
void HoistXmlAttributes(boost::property_tree::ptree& node);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
