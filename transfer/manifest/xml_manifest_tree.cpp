#include "transfer/manifest/xml_manifest_tree.h"

#include <algorithm>
#include <boost/property_tree/detail/xml_parser_read_rapidxml.hpp>
#include <boost/property_tree/ptree.hpp>
#include <string>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

using boost::property_tree::ptree;

constexpr char kAttributes[] = "<xmlattr>";
constexpr std::size_t kNone = std::string::npos;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsOnlyXmlSpace(const std::string& text) {
  return std::all_of(text.begin(), text.end(), IsXmlSpace);
}

// The XML reader keeps text made only of white space; the documents treat it as empty.
void EmptyBlankValues(ptree& node) {
  if (!node.data().empty() && IsOnlyXmlSpace(node.data())) node.data().clear();
  for (auto& child : node) EmptyBlankValues(child.second);
}

bool StartsWith(const std::string& xml, std::size_t at, const char* prefix) {
  return xml.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The position of the last character of the first terminator at or after from.
std::size_t EndOf(const std::string& xml, std::size_t from, const char* terminator) {
  const std::size_t at = xml.find(terminator, from);
  return at == kNone ? kNone : at + std::char_traits<char>::length(terminator) - 1;
}

// Scans the start tag at `at` up to its '>' and adds the nodes it becomes to nodes: the
// element, and for each attribute the node that keeps it and one per segment of its name
// where it is hoisted, plus one that holds them all. As for the reader, a value is quoted
// right after its '=' (white space between) and may hold '>'; a quote anywhere else is a
// character of a name. Answers the position of the '>', or kNone when the text ends first.
std::size_t ScanStartTag(const std::string& xml, std::size_t at, std::size_t& nodes) {
  ++nodes;
  bool attributes = false;
  bool valueNext = false;
  for (std::size_t i = at + 1; i < xml.size(); ++i) {
    const char c = xml[i];
    if (valueNext && (c == '"' || c == '\'')) {
      i = xml.find(c, i + 1);
      if (i == kNone) return kNone;
      valueNext = false;
    } else if (c == '>') {
      return i;
    } else if (c == '=') {
      nodes += attributes ? 2 : 3;
      attributes = true;
      valueNext = true;
    } else if (c == '.') {
      ++nodes;
    } else if (!IsXmlSpace(c)) {
      valueNext = false;
    }
  }
  return kNone;
}

// Whether the markup of xml stays within the bounds, judged from the text alone as the
// reader will see it: it skips a processing instruction to "?>", a comment to "-->" and a
// CDATA section to "]]>", and elements nest inside everything else. The reader's recursion
// and the size of the tree it builds are thereby bounded before either is paid for.
bool IsWithinBounds(const std::string& xml) {
  int depth = 0;
  std::size_t nodes = 0;
  std::size_t at = 0;
  while ((at = xml.find('<', at)) != kNone && nodes <= kMaxXmlNodes) {
    std::size_t end;
    if (StartsWith(xml, at, "<?")) {
      end = EndOf(xml, at + 2, "?>");
      ++nodes;  // none in the tree, but the text after it is a node of the reader's own
    } else if (StartsWith(xml, at, "<!--")) {
      end = EndOf(xml, at + 4, "-->");
      ++nodes;
    } else if (StartsWith(xml, at, "<![CDATA[")) {
      end = EndOf(xml, at + 9, "]]>");
      ++nodes;
    } else if (StartsWith(xml, at, "<!")) {
      return false;  // a DOCTYPE or another declaration: the documents need none
    } else if (StartsWith(xml, at, "</")) {
      if (--depth < 0) return false;
      end = xml.find('>', at);
    } else {
      end = ScanStartTag(xml, at, nodes);
      if (end != kNone && xml[end - 1] != '/' && ++depth > kMaxXmlDepth) return false;
    }
    if (end == kNone) break;  // cut short: the reader refuses it
    at = end + 1;
  }
  return nodes <= kMaxXmlNodes;
}

// What read_xml does at its default settings, minus its copy of the whole text: the text is
// parsed where it lies (the parser writes into it) and the tree built from the parsed nodes.
void ReadXmlInPlace(std::string& xml, ptree& tree) {
  namespace rapidxml = boost::property_tree::detail::rapidxml;
  rapidxml::xml_document<char> document;
  document.parse<rapidxml::parse_comment_nodes>(xml.data());
  ptree read;
  for (auto* node = document.first_node(); node != nullptr; node = node->next_sibling()) {
    boost::property_tree::xml_parser::read_xml_node(node, read, 0);
  }
  tree.swap(read);
}

}  // namespace

void HoistXmlAttributes(ptree& node) {
  for (auto& child : node) {
    if (child.first != kAttributes) HoistXmlAttributes(child.second);
  }
  const auto attributes = node.find(kAttributes);
  if (attributes == node.not_found()) return;
  // Copied first: putting children may reallocate the node's child list.
  const ptree copy = attributes->second;
  for (const auto& attribute : copy) {
    const std::string& name = attribute.first;
    // put_child refuses an empty path (a name ending in '.' would leave one) and walks the
    // path one recursive call per segment.
    if (name.empty() || name.back() == '.' ||
        static_cast<std::size_t>(std::count(name.begin(), name.end(), '.')) >=
            kMaxXmlNameSegments) {
      throw ManifestParseException();
    }
    node.put_child(ptree::path_type(name, '.'), attribute.second);
  }
}

void ParseXmlManifest(std::string xml, ptree& tree) {
  try {
    if (!IsWithinBounds(xml)) throw ManifestParseException();
    ReadXmlInPlace(xml, tree);
    std::string().swap(xml);  // the text is no longer needed by the time the tree grows
    EmptyBlankValues(tree);
    HoistXmlAttributes(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
