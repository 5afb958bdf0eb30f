#ifndef ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
#define ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_

#include <iosfwd>

#include <boost/property_tree/ptree_fwd.hpp>

namespace zarn {

// Reads an XML manifest document into tree: the property tree's XML reader at its default
// settings, then every value made only of white space emptied (so "<Host>  </Host>" and
// the indentation between elements read as no text), then HoistXmlAttributes. Any failure
// throws ManifestParseException with an empty message.
void ParseXmlManifest(std::istream& in, boost::property_tree::ptree& tree);

// Makes every attribute of every element also readable as a child of that element: the
// "<xmlattr>" child stays, and each attribute's subtree is put at the path its name forms
// (an attribute wins over a child element of the same name). A name that cannot be a path
// (empty, or ending in '.') throws ManifestParseException.
void HoistXmlAttributes(boost::property_tree::ptree& node);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_MANIFEST_TREE_H_
