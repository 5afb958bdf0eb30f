#include "transfer/manifest/xml_manifest_tree.h"

#include <istream>
#include <iterator>
#include <sstream>
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

// The XML reader parses nested elements by recursion, so a hostile document nested deeply
// enough overflows the stack of the thread that reads it. Manifests are a few levels deep.
constexpr int kMaxXmlDepth = 64;

// Whether the elements of xml nest deeper than limit, counted from the tags alone.
// Comments, CDATA sections, declarations and processing instructions hold no elements.
bool NestsDeeperThan(const std::string& xml, int limit) {
  int depth = 0;
  std::size_t i = 0;
  while ((i = xml.find('<', i)) != std::string::npos) {
    std::size_t end;
    if (xml.compare(i, 4, "<!--") == 0) {
      end = xml.find("-->", i);
    } else if (xml.compare(i, 9, "<![CDATA[") == 0) {
      end = xml.find("]]>", i);
    } else if (i + 1 < xml.size() && (xml[i + 1] == '?' || xml[i + 1] == '!')) {
      end = xml.find('>', i);
    } else if (i + 1 < xml.size() && xml[i + 1] == '/') {
      --depth;
      end = xml.find('>', i);
    } else {
      char quote = 0;
      for (end = i + 1; end < xml.size(); ++end) {
        const char c = xml[end];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (end < xml.size() && xml[end - 1] != '/' && ++depth > limit) return true;
    }
    if (end == std::string::npos || end >= xml.size()) return false;
    i = end + 1;
  }
  return false;
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
    const std::string xml{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (NestsDeeperThan(xml, kMaxXmlDepth)) throw ManifestParseException();
    std::istringstream text(xml);
    boost::property_tree::read_xml(text, tree);
    EmptyBlankValues(tree);
    HoistXmlAttributes(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
