#include "telemetry/compact_json_writer.h"

#include <boost/property_tree/json_parser/error.hpp>
#include <boost/property_tree/ptree.hpp>
#include <ostream>
#include <string>

namespace zarn {
namespace {

using boost::property_tree::ptree;
using boost::property_tree::json_parser::json_parser_error;

bool IsRepresentable(const ptree& node) {
  if (!node.data().empty() && !node.empty()) return false;
  for (const auto& child : node) {
    if (!IsRepresentable(child.second)) return false;
  }
  return true;
}

bool WrittenRaw(unsigned char c) {
  return c >= 0x20 && c <= 0x7F && c != '"' && c != '/' && c != '\\';
}

// Writes runs of plain bytes in one call and each other byte as its escape.
void WriteEscaped(std::ostream& out, const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  const char* run = text.data();
  const char* const end = text.data() + text.size();
  for (const char* p = run; p != end; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (WrittenRaw(c)) continue;
    out.write(run, p - run);
    run = p + 1;
    switch (c) {
      case '\b':
        out.write("\\b", 2);
        break;
      case '\f':
        out.write("\\f", 2);
        break;
      case '\n':
        out.write("\\n", 2);
        break;
      case '\r':
        out.write("\\r", 2);
        break;
      case '/':
        out.write("\\/", 2);
        break;
      case '"':
        out.write("\\\"", 2);
        break;
      case '\\':
        out.write("\\\\", 2);
        break;
      default: {
        const char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0x0F]};
        out.write(escape, sizeof escape);
      }
    }
  }
  out.write(run, end - run);
}

bool IsArray(const ptree& node) {
  for (const auto& child : node) {
    if (!child.first.empty()) return false;
  }
  return true;
}

}  // namespace

void WriteJsonValue(std::ostream& out, const ptree& node, int depth) {
  if (depth >= 1 && node.empty()) {
    const std::string& value = node.data();
    if (value == EmptyObjectMarker) {
      out.write("{}", 2);
    } else if (value == EmptyArrayMarker) {
      out.write("[]", 2);
    } else {
      out.put('"');
      WriteEscaped(out, value);
      out.put('"');
    }
    return;
  }
  const bool array = IsArray(node);
  out.put(array ? '[' : '{');
  bool first = true;
  for (const auto& child : node) {
    if (!first) out.put(',');
    first = false;
    if (!array) {
      out.put('"');
      WriteEscaped(out, child.first);
      out.write("\":", 2);
    }
    WriteJsonValue(out, child.second, depth + 1);
  }
  out.put(array ? ']' : '}');
}

void WriteCompactJson(std::ostream& out, const ptree& tree) {
  if (!tree.data().empty() || !IsRepresentable(tree)) {
    throw json_parser_error("ptree contains data that cannot be represented in JSON format", "", 0);
  }
  WriteJsonValue(out, tree, 0);
  out.put('\n');
  out.flush();
  if (!out.good()) throw json_parser_error("write error", "", 0);
}

}  // namespace zarn
