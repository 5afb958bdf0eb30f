#include "transfer/manifest/node_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace zarn {
namespace {

constexpr std::size_t kMaxNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool AllOf(const std::string& text, bool (*predicate)(char)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), predicate);
}

std::vector<std::string> SplitAtDots(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t begin = 0;
  while (true) {
    const std::size_t dot = text.find('.', begin);
    parts.push_back(text.substr(begin, dot - begin));
    if (dot == std::string::npos) return parts;
    begin = dot + 1;
  }
}

// Decimal digits, hexadecimal after "0x": a label that resolvers may read as a number.
bool IsNumeric(const std::string& label) {
  if (label.size() > 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
    return AllOf(label.substr(2), IsHexDigit);
  }
  return AllOf(label, IsDigit);
}

bool IsPort(const std::string& text) {
  if (text.size() > 5 || !AllOf(text, IsDigit)) return false;
  const unsigned long port = std::stoul(text);
  return port >= 1 && port <= 65535;
}

// Four numbers from 0 to 255, without the leading zeros that resolvers read as octal.
bool IsIpv4(const std::string& text) {
  const std::vector<std::string> parts = SplitAtDots(text);
  if (parts.size() != 4) return false;
  for (const std::string& part : parts) {
    if (part.size() > 3 || !AllOf(part, IsDigit)) return false;
    if (part.size() > 1 && part[0] == '0') return false;
    if (std::stoul(part) > 255) return false;
  }
  return true;
}

bool IsLabel(const std::string& label) {
  if (label.empty() || label.size() > kMaxLabelLength) return false;
  if (label.front() == '-' || label.back() == '-') return false;
  return std::all_of(label.begin(), label.end(),
                     [](char c) { return IsLetter(c) || IsDigit(c) || c == '-'; });
}

// A numeric last label is never a name: "1.2.3" or "0x7f" would be read as an address.
bool IsDnsName(const std::string& text) {
  if (text.size() > kMaxNameLength) return false;
  const std::vector<std::string> labels = SplitAtDots(text);
  if (!std::all_of(labels.begin(), labels.end(), IsLabel)) return false;
  return !IsNumeric(labels.back());
}

bool IsIpv6(const std::string& text) {
  in6_addr address;
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

}  // namespace

bool IsValidNodeHost(const std::string& host) {
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos) return false;
    const std::string rest = host.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || !IsPort(rest.substr(1)))) return false;
    return IsIpv6(host.substr(1, close - 1));
  }
  const std::size_t colon = host.find(':');
  if (colon != std::string::npos && !IsPort(host.substr(colon + 1))) return false;
  const std::string name = host.substr(0, colon);
  return IsIpv4(name) || IsDnsName(name);
}

}  // namespace zarn
