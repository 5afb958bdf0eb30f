#include "transfer/manifest/xml_manifest_tree.h"

#include <istream>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

constexpr char kAttributes[] = "<xmlattr>";

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsOnlyXmlSpace(const std::string& text) {
  for (char c : text) {
    if (!IsXmlSpace(c)) return false;
  }
  return true;
}

// The XML reader keeps text made only of white space; the documents treat it as empty.
void EmptyBlankValues(boost::property_tree::ptree& node) {
  if (!node.data().empty() && IsOnlyXmlSpace(node.data())) node.data().clear();
  for (auto& child : node) EmptyBlankValues(child.second);
}

}  // namespace

void HoistXmlAttributes(boost::property_tree::ptree& node) {
  for (auto& child : node) {
    if (child.first != kAttributes) HoistXmlAttributes(child.second);
  }
  const auto attributes = node.find(kAttributes);
  if (attributes == node.not_found()) return;
  // Copied first: putting children may reallocate the node's child list.
  const boost::property_tree::ptree copy = attributes->second;
  for (const auto& attribute : copy) {
    const std::string& name = attribute.first;
    // put_child refuses an empty path: a name ending in '.' would leave one.
    if (name.empty() || name.back() == '.') throw ManifestParseException();
    node.put_child(boost::property_tree::ptree::path_type(name, '.'), attribute.second);
  }
}

void ParseXmlManifest(std::istream& in, boost::property_tree::ptree& tree) {
  try {
    boost::property_tree::read_xml(in, tree);
    EmptyBlankValues(tree);
    HoistXmlAttributes(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
