#ifndef ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
#define ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstddef>
#include <string>

namespace zarn {

// Bounds on a document from the network, checked on its text before any tree is built:
// elements may nest at most kMaxXmlDepth deep (the reader recurses per level), and a
// document may hold at most kMaxXmlNodes nodes. Elements, comments, CDATA sections and
// processing instructions count one each (each may also be followed by a run of text, a
// node of the reader's own); attributes count the nodes they are kept and hoisted as,
// one more per segment of a dotted name. A node costs a few hundred bytes, so a document
// at the bounds is read in well under 512 MiB (bench/transfer_manifest_bench.cpp).
constexpr int kMaxXmlDepth = 64;
constexpr std::size_t kMaxXmlNodes = 500000;
// An attribute name is a path of at most this many '.'-separated segments.
constexpr std::size_t kMaxXmlNameSegments = 64;

// Reads an XML manifest document into tree: the property tree's XML reader at its default
// settings, run on xml in place (the text is consumed: it is parsed where it lies and
// freed before the tree is post-processed), then every value made only of white space
// emptied (so "<Host>  </Host>" and the indentation between elements read as no text),
// then HoistXmlAttributes. A document past the bounds above, with a DOCTYPE or another
// declaration, or with a close tag that closes nothing, is refused unread. Any failure
// throws ManifestParseException with an empty message.
void ParseXmlManifest(std::string xml, boost::property_tree::ptree& tree);

// Makes every attribute of every element also readable as a child of that element: the
// "<xmlattr>" child stays, and each attribute's subtree is put at the path its name forms
// (an attribute wins over a child element of the same name). A name that cannot be a path
// (empty, ending in '.', or of more than kMaxXmlNameSegments segments) throws
// ManifestParseException.
void HoistXmlAttributes(boost::property_tree::ptree& node);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
