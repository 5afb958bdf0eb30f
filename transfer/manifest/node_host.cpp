#include "transfer/manifest/node_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace zarn {
namespace {

// The longest name the domain name system has, without its final '.'.
constexpr std::size_t kMaxNameLength = 253;

bool IsBlankOrControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7f;
}

// A character of a name that would end the authority or change how a URL parser reads it.
bool ChangesUrl(char c) { return IsBlankOrControl(c) || std::strchr("/\\?#@%[]:", c) != nullptr; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool AllOf(const std::string& text, bool (*predicate)(char)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), predicate);
}

// Decimal digits, or hexadecimal ones after "0x": a label that resolvers read as a number.
bool IsNumeric(const std::string& label) {
  if (label.size() > 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
    return AllOf(label.substr(2), IsHexDigit);
  }
  return AllOf(label, IsDigit);
}

// Four numbers from 0 to 255, without the leading zeros that resolvers read as octal.
bool IsDottedDecimal(const std::string& name) {
  std::size_t begin = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = name.find('.', begin);
    if ((part < 3) == (dot == std::string::npos)) return false;
    const std::string number = name.substr(begin, dot - begin);
    if (number.size() > 3 || !AllOf(number, IsDigit) || (number.size() > 1 && number[0] == '0') ||
        std::stoul(number) > 255) {
      return false;
    }
    begin = dot + 1;
  }
  return true;
}

// A name whose last label is a number is read as an IPv4 address, in octal, hexadecimal or
// fewer parts where it shows otherwise (10.1, 010.0.0.1, 0x7f.1 name other addresses than
// they seem to): only the dotted-decimal form, which names what it shows, is taken.
bool IsAddressAsItShows(std::string name) {
  if (name.back() == '.') name.pop_back();
  const std::size_t dot = name.rfind('.');
  const std::string last = dot == std::string::npos ? name : name.substr(dot + 1);
  return !IsNumeric(last) || IsDottedDecimal(name);
}

bool IsShortEnough(const std::string& name) {
  const bool rooted = name.back() == '.';
  return name.size() - (rooted ? 1 : 0) <= kMaxNameLength;
}

bool IsPort(const std::string& text) {
  if (text.size() > 5 || !AllOf(text, IsDigit)) return false;
  const unsigned long port = std::stoul(text);
  return port >= 1 && port <= 65535;
}

bool IsIpv6(const std::string& text) {
  in6_addr address;
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

}  // namespace

bool IsValidNodeHost(const std::string& host) {
  if (host.empty() || std::any_of(host.begin(), host.end(), IsBlankOrControl)) return false;
  if (host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos) return false;
    const std::string rest = host.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || !IsPort(rest.substr(1)))) return false;
    return IsIpv6(host.substr(1, close - 1));
  }
  const std::size_t colon = host.find(':');
  if (colon != std::string::npos && !IsPort(host.substr(colon + 1))) return false;
  const std::string name = host.substr(0, colon);
  return !name.empty() && IsShortEnough(name) &&
         std::none_of(name.begin(), name.end(), ChangesUrl) && IsAddressAsItShows(name);
}

}  // namespace zarn
