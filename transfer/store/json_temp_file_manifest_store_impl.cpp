#include "transfer/store/json_temp_file_manifest_store_impl.h"

#include <algorithm>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <sstream>

#include "storage/text_conversion.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {

namespace {

using boost::property_tree::ptree;

// Whether the values of a JSON text nest deeper than kMaxJsonDepth, or close more than they
// open. Brackets inside strings do not count.
bool NestsTooDeep(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return true;
    } else if (c == ']' || c == '}') {
      if (--depth < 0) return true;
    }
  }
  return false;
}

// Copies `from` into `to`, placing every child at the path its key spells with '.'.
void CopyWithDottedKeys(const ptree& from, ptree& to) {
  to.put_value(from.data());
  for (const auto& child : from) {
    const std::string& key = child.first;
    if (key.empty() || key.front() == '.' || key.back() == '.' ||
        key.find("..") != std::string::npos ||
        static_cast<std::size_t>(std::count(key.begin(), key.end(), '.')) >= kMaxJsonKeySegments) {
      throw ManifestParseException();
    }
    ptree& placed = to.put_child(ptree::path_type(key, '.'), ptree());
    CopyWithDottedKeys(child.second, placed);
  }
}

void AppendEscaped(const std::string& utf8, std::wstring& out) {
  static const char kHex[] = "0123456789ABCDEF";
  for (wchar_t unit : Utf8ToWide(utf8)) {
    const unsigned long u = static_cast<unsigned long>(unit);
    switch (u) {
      case '\b':
        out += L"\\b";
        continue;
      case '\f':
        out += L"\\f";
        continue;
      case '\n':
        out += L"\\n";
        continue;
      case '\r':
        out += L"\\r";
        continue;
      case '/':
        out += L"\\/";
        continue;
      case '"':
        out += L"\\\"";
        continue;
      case '\\':
        out += L"\\\\";
        continue;
      default:
        break;
    }
    if (u >= 0x20 && u <= 0xFF) {
      out += unit;
    } else {
      out += L"\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 0xF];
    }
  }
}

bool IsArray(const ptree& node) { return node.count(std::string()) == node.size(); }

void WriteNode(const ptree& node, std::wstring& out) {
  if (node.empty()) {
    out += L'"';
    AppendEscaped(node.data(), out);
    out += L'"';
    return;
  }
  if (!node.data().empty()) throw ManifestParseException();
  const bool array = IsArray(node);
  out += array ? L'[' : L'{';
  bool first = true;
  for (const auto& child : node) {
    if (!first) out += L',';
    first = false;
    if (!array) {
      out += L'"';
      AppendEscaped(child.first, out);
      out += L"\":";
    }
    WriteNode(child.second, out);
  }
  out += array ? L']' : L'}';
}

}  // namespace

void JsonTempFileManifestStoreImpl::Parse(std::string text, ptree& tree) {
  try {
    Utf8ToWide(text);  // refuses text that is not UTF-8
    if (NestsTooDeep(text)) throw ManifestParseException();
    std::istringstream json(text);
    ptree read;
    boost::property_tree::read_json(json, read);
    CopyWithDottedKeys(read, tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

void JsonTempFileManifestStoreImpl::Serialize(const ptree& tree, std::ostream& out) {
  std::wstring text;
  try {
    if (!tree.data().empty()) throw ManifestParseException();
    WriteNode(tree, text);
    text += L'\n';
    out << WideToUtf8(text);
  } catch (...) {
    throw ManifestParseException();
  }
}

std::string JsonTempFileManifestStoreImpl::GetFileName(const std::string& id) const {
  return id + ".json";
}

}  // namespace zarn
