#include "http/environment_http_proxy_factory.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/tokenizer.hpp>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

#include "http/empty_http_proxy.h"
#include "http/http_proxy_selection.h"
#include "http/libproxy_http_proxy.h"
#include "http/manual_http_proxy.h"

namespace zarn {
namespace {

std::string FirstSet(const EnvironmentHttpProxyFactory::Environment& environment,
                     const std::string& lower, const std::string& upper) {
  std::string value = environment(lower);
  return value.empty() ? environment(upper) : value;
}

// ":" and a port number.
bool IsPortSuffix(const std::string& text) {
  return text.size() > 1 && text.size() <= 6 && text[0] == ':' &&
         std::all_of(text.begin() + 1, text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Labels of letters, digits, '-' and '_' joined by single dots: nothing a pattern would
// read as more than itself, once '.' is escaped.
bool IsHostName(const std::string& name) {
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  char previous = '.';
  for (char c : name) {
    const bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    if (!allowed && !(c == '.' && previous != '.')) return false;
    previous = c;
  }
  return true;
}

bool IsIpv4Address(const std::string& text) {
  in_addr address{};
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// An IPv6 address as the bypass rules match URL hosts: in its normal form.
std::vector<std::string> Ipv6Entries(const std::string& text) {
  in6_addr address{};
  if (::inet_pton(AF_INET6, text.c_str(), &address) != 1) return {};
  return {*NormalAddress(text)};
}

// A pattern that matches any of the alternatives (at least one).
std::string Alternation(const std::vector<std::string>& alternatives) {
  if (alternatives.size() == 1) return alternatives.front();
  std::string pattern = "(";
  for (const std::string& alternative : alternatives) {
    if (pattern.size() > 1) pattern += '|';
    pattern += alternative;
  }
  return pattern + ")";
}

// A pattern for the numbers from low to high, all of the same number of digits, as
// written with those digits (leading zeros included).
std::string SameWidthRangePattern(const std::string& low, const std::string& high) {
  if (low.empty()) return "";
  if (low[0] == high[0]) return low[0] + SameWidthRangePattern(low.substr(1), high.substr(1));
  const std::size_t rest = low.size() - 1;
  const auto anyDigits = [](std::size_t count) {
    std::string pattern;
    for (std::size_t i = 0; i < count; ++i) pattern += "[0-9]";
    return pattern;
  };
  std::vector<std::string> alternatives;
  char first = low[0];
  char last = high[0];
  if (low.substr(1) != std::string(rest, '0')) {
    alternatives.push_back(low[0] + SameWidthRangePattern(low.substr(1), std::string(rest, '9')));
    ++first;
  }
  if (high.substr(1) != std::string(rest, '9')) {
    alternatives.push_back(high[0] + SameWidthRangePattern(std::string(rest, '0'), high.substr(1)));
    --last;
  }
  if (first == last) {
    alternatives.push_back(first + anyDigits(rest));
  } else if (first < last) {
    alternatives.push_back(std::string("[") + first + '-' + last + ']' + anyDigits(rest));
  }
  return Alternation(alternatives);
}

// A pattern for the numbers from low to high (at most 255) in decimal without leading
// zeros, as an IPv4 address in dotted decimal writes them.
std::string DecimalRangePattern(unsigned low, unsigned high) {
  std::vector<std::string> alternatives;
  for (unsigned widthLow : {0u, 10u, 100u}) {
    const unsigned widthHigh = widthLow == 0 ? 9 : widthLow * 10 - 1;
    if (high < widthLow || low > widthHigh) continue;
    alternatives.push_back(SameWidthRangePattern(std::to_string(std::max(low, widthLow)),
                                                 std::to_string(std::min(high, widthHigh))));
  }
  return Alternation(alternatives);
}

// The lowest and the highest value that a part of an address of `bits` bits (a byte, a
// hexadecimal digit) takes in a range whose prefix fixes prefixLeft more bits from this
// part on: its value in the range's address with the bits left free cleared, then set.
std::pair<unsigned, unsigned> PartRange(unsigned value, unsigned bits, int prefixLeft) {
  const int fixed = std::clamp(prefixLeft, 0, static_cast<int>(bits));
  const unsigned free = (1u << (bits - fixed)) - 1;
  return {value & ~free, (value & ~free) | free};
}

// The dotted-decimal addresses of a range: a number pattern per byte.
std::string Ipv4RangePattern(const in_addr& address, int length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
  std::string pattern;
  for (int i = 0; i < 4; ++i) {
    const auto [low, high] = PartRange(bytes[i], 8, length - 8 * i);
    if (i > 0) pattern += '.';
    pattern += DecimalRangePattern(low, high);
  }
  return pattern;
}

// The normal forms (NormalAddress) of the IPv6 addresses of a range: a digit or a class of
// digits per hexadecimal digit.
std::string Ipv6RangePattern(const in6_addr& address, int length) {
  static const char kHex[] = "0123456789abcdef";
  std::string pattern;
  for (int i = 0; i < 32; ++i) {
    const unsigned byte = address.s6_addr[i / 2];
    const auto [low, high] = PartRange(i % 2 == 0 ? byte >> 4 : byte & 0xf, 4, length - 4 * i);
    if (i > 0 && i % 4 == 0) pattern += ':';
    if (low == high) {
      pattern += kHex[low];
    } else if (low == 0 && high == 15) {
      pattern += "[0-9a-f]";
    } else {
      pattern += '[';
      for (unsigned digit = low; digit <= high; ++digit) pattern += kHex[digit];
      pattern += ']';
    }
  }
  return pattern;
}

// "address/length", the address an IPv4 one in dotted decimal or an IPv6 one (bare or in
// brackets), the length at most its bits: the pattern of every address in the range (bits
// past the length count for nothing). None for anything else.
std::vector<std::string> RangeEntries(const std::string& item) {
  const std::size_t slash = item.find('/');
  const std::string lengthText = item.substr(slash + 1);
  if (lengthText.empty() || lengthText.size() > 3 ||
      !std::all_of(lengthText.begin(), lengthText.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return {};
  }
  const int length = std::stoi(lengthText);
  std::string text = item.substr(0, slash);
  const bool bracketed = text.size() > 2 && text.front() == '[' && text.back() == ']';
  if (bracketed) text = text.substr(1, text.size() - 2);
  in_addr ipv4{};
  if (!bracketed && ::inet_pton(AF_INET, text.c_str(), &ipv4) == 1) {
    return length <= 32 ? std::vector<std::string>{Ipv4RangePattern(ipv4, length)}
                        : std::vector<std::string>{};
  }
  in6_addr ipv6{};
  if (::inet_pton(AF_INET6, text.c_str(), &ipv6) == 1) {
    return length <= 128 ? std::vector<std::string>{Ipv6RangePattern(ipv6, length)}
                         : std::vector<std::string>{};
  }
  return {};
}

// One no_proxy item as bypass entries; none when it names nothing a pattern can match.
std::vector<std::string> TranslateNoProxyItem(std::string item) {
  std::transform(item.begin(), item.end(), item.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  if (item == "*") return {"*"};
  if (item.find('/') != std::string::npos) return RangeEntries(item);
  if (item.front() == '[') {  // [IPv6] or [IPv6]:port
    const std::size_t close = item.find(']');
    if (close == std::string::npos) return {};
    const std::string port = item.substr(close + 1);
    if (!port.empty() && !IsPortSuffix(port)) return {};
    return Ipv6Entries(item.substr(1, close - 1));
  }
  if (std::count(item.begin(), item.end(), ':') > 1) return Ipv6Entries(item);  // no port
  const std::size_t colon = item.find(':');
  if (colon != std::string::npos) {
    if (!IsPortSuffix(item.substr(colon))) return {};
    item.erase(colon);
  }
  if (IsIpv4Address(item)) return {item};
  if (boost::algorithm::starts_with(item, "*.")) {  // the subdomains only
    return IsHostName(item.substr(2)) ? std::vector<std::string>{item} : std::vector<std::string>{};
  }
  item.erase(0, item.find_first_not_of('.'));  // ".domain": the domain and its subdomains
  if (!item.empty() && item.back() == '.') item.pop_back();  // the root's dot
  if (!IsHostName(item)) return {};
  return {item, "*." + item};
}

}  // namespace

EnvironmentHttpProxyFactory::EnvironmentHttpProxyFactory(std::uint32_t resolveTimeout,
                                                         std::uint32_t connectTimeout,
                                                         std::uint32_t sendTimeout,
                                                         std::uint32_t receiveTimeout,
                                                         Environment environment)
    : resolveTimeout_(resolveTimeout),
      connectTimeout_(connectTimeout),
      sendTimeout_(sendTimeout),
      receiveTimeout_(receiveTimeout),
      environment_(std::move(environment)) {}

std::shared_ptr<HttpProxy> EnvironmentHttpProxyFactory::Create() {
  const std::string proxy = FirstSet(environment_, "http_proxy", "HTTP_PROXY");
  if (proxy.empty()) return MakeEmptyHttpProxy();
  if (boost::algorithm::starts_with(proxy, "pac+") ||
      boost::algorithm::starts_with(proxy, "wpad://")) {
    return std::make_shared<LibproxyHttpProxy>(std::chrono::milliseconds(resolveTimeout_));
  }
  const std::string noProxy = FirstSet(environment_, "no_proxy", "NO_PROXY");
  return std::make_shared<ManualHttpProxy>(proxy, TranslateNoProxy(noProxy));
}

std::string EnvironmentHttpProxyFactory::ProcessEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? "" : value;
}

std::string EnvironmentHttpProxyFactory::TranslateNoProxy(const std::string& noProxy) {
  const boost::char_separator<char> separators(", \t");
  const boost::tokenizer<boost::char_separator<char>> tokens(noProxy, separators);
  std::string list;
  for (const std::string& item : tokens) {
    for (const std::string& entry : TranslateNoProxyItem(item)) {
      if (!list.empty()) list += ';';
      list += entry;
    }
  }
  return list;
}

}  // namespace zarn
