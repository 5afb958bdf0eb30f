#include "transfer/json_temp_file_manifest_store_impl.h"

#include <iterator>
#include <sstream>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "storage/text_conversion.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {

namespace {

using boost::property_tree::ptree;

// Copies `from` into `to`, placing every child at the path its key spells with '.'.
void CopyWithDottedKeys(const ptree& from, ptree& to) {
  to.put_value(from.data());
  for (const auto& child : from) {
    const std::string& key = child.first;
    if (key.empty() || key.front() == '.' || key.back() == '.' ||
        key.find("..") != std::string::npos) {
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
      case '\b': out += L"\\b"; continue;
      case '\f': out += L"\\f"; continue;
      case '\n': out += L"\\n"; continue;
      case '\r': out += L"\\r"; continue;
      case '/': out += L"\\/"; continue;
      case '"': out += L"\\\""; continue;
      case '\\': out += L"\\\\"; continue;
      default: break;
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

void JsonTempFileManifestStoreImpl::Parse(std::istream& in, ptree& tree) {
  try {
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Utf8ToWide(text);  // refuses text that is not UTF-8
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
