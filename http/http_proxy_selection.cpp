#include "http/http_proxy_selection.h"

#include <Poco/URI.h>
#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <boost/algorithm/string/replace.hpp>
#include <boost/tokenizer.hpp>
#include <boost/xpressive/regex_error.hpp>
#include <boost/xpressive/xpressive_dynamic.hpp>
#include <cctype>
#include <cstdint>

namespace zarn {
namespace {

const std::string kSchemeMark = "://";

bool IsSeparator(char c) { return c == ';' || c == ' '; }

std::size_t FindSeparator(const std::string& text, std::size_t from) {
  return std::find_if(text.begin() + from, text.end(), IsSeparator) - text.begin();
}

// Where user info that begins at from ends: at its first '@', or at a later one that
// follows without a separator in between (a password may hold '@'); npos when there is
// no '@' before the host's path.
std::size_t FindUserInfoEnd(const std::string& text, std::size_t from) {
  const std::size_t path = std::min(text.find('/', from), text.size());
  std::size_t at = text.find('@', from);
  if (at >= path) return std::string::npos;
  for (std::size_t i = at + 1; i < path && !IsSeparator(text[i]); ++i) {
    if (text[i] == '@') at = i;
  }
  return at;
}

// The length of a leading "name=", where name is a scheme name; 0 when there is none.
std::size_t SchemeKeyLength(const std::string& entry) {
  if (entry.empty() || !std::isalpha(static_cast<unsigned char>(entry[0]))) return 0;
  std::size_t i = 1;
  while (i < entry.size() && (std::isalnum(static_cast<unsigned char>(entry[i])) ||
                              entry[i] == '+' || entry[i] == '-' || entry[i] == '.')) {
    ++i;
  }
  return i < entry.size() && entry[i] == '=' ? i + 1 : 0;
}

// Where an entry's user info (if any) begins: after "scheme://", else after "name=".
std::size_t AuthorityBegin(const std::string& entry) {
  const std::size_t mark = entry.find(kSchemeMark);
  return mark == std::string::npos ? SchemeKeyLength(entry) : mark + kSchemeMark.size();
}

// Where the entry that begins at `begin` ends. An entry in URL form may hold separators
// in its user info.
std::size_t EntryEnd(const std::string& text, std::size_t begin) {
  const std::size_t plainEnd = FindSeparator(text, begin);
  const std::size_t mark = text.find(kSchemeMark, begin);
  if (mark == std::string::npos || mark >= plainEnd) return plainEnd;
  const std::size_t at = FindUserInfoEnd(text, mark + kSchemeMark.size());
  if (at == std::string::npos || at < plainEnd) return plainEnd;
  return FindSeparator(text, at);
}

// An entry for every scheme: no '=' outside its user info.
bool IsPlainEntry(const std::string& entry) {
  const std::size_t from = AuthorityBegin(entry);
  const std::size_t at = FindUserInfoEnd(entry, from);
  const std::string outside =
      at == std::string::npos ? entry : entry.substr(0, from) + entry.substr(at + 1);
  return outside.find('=') == std::string::npos;
}

// libcurl ends user info at its first '@' and refuses spaces; it decodes percent-encoding.
std::string EncodeUserInfo(const std::string& entry) {
  const std::size_t from = AuthorityBegin(entry);
  const std::size_t at = FindUserInfoEnd(entry, from);
  if (at == std::string::npos) return entry;
  std::string encoded = entry.substr(0, from);
  for (std::size_t i = from; i < at; ++i) {
    if (entry[i] == '@') {
      encoded += "%40";
    } else if (entry[i] == ' ') {
      encoded += "%20";
    } else {
      encoded += entry[i];
    }
  }
  return encoded + entry.substr(at);
}

// A hexadecimal digit's value, in either case; 16 for any other character.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 16;
}

// One number of an IPv4 address as libcurl reads it: decimal, octal after a leading 0,
// hexadecimal after 0x; none when it is not one or exceeds 32 bits.
std::optional<std::uint64_t> ReadAddressNumber(const std::string& text) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
  unsigned base = 10;
  std::size_t i = 0;
  if (text.size() > 1 && text[0] == '0') {
    const bool hex = text[1] == 'x' || text[1] == 'X';
    base = hex ? 16 : 8;
    i = hex ? 2 : 1;
    if (i == text.size()) return std::nullopt;
  }
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const unsigned digit = DigitValue(text[i]);
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xffffffffu) return std::nullopt;
  }
  return value;
}

// One to four numbers joined by dots: each but the last is a byte, the last fills the
// bytes left.
std::optional<std::uint32_t> ReadIpv4Address(const std::string& host) {
  std::vector<std::uint64_t> parts;
  std::size_t begin = 0;
  while (true) {
    const std::size_t dot = host.find('.', begin);
    const std::optional<std::uint64_t> part = ReadAddressNumber(host.substr(begin, dot - begin));
    if (!part || parts.size() == 4) return std::nullopt;
    parts.push_back(*part);
    if (dot == std::string::npos) break;
    begin = dot + 1;
  }
  const std::size_t bytes = parts.size() - 1;
  std::uint64_t address = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    if (parts[i] > 0xff) return std::nullopt;
    address |= parts[i] << (8 * (3 - i));
  }
  if ((parts.back() >> (8 * (4 - bytes))) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(address | parts.back());
}

std::string DottedDecimal(std::uint32_t address) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if (!text.empty()) text += '.';
    text += std::to_string((address >> shift) & 0xff);
  }
  return text;
}

std::optional<std::string> FullIpv6(const std::string& host) {
  in6_addr address{};
  if (::inet_pton(AF_INET6, host.substr(0, host.find('%')).c_str(), &address) != 1) {
    return std::nullopt;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i > 0 && i % 2 == 0) text += ':';
    text += kHex[address.s6_addr[i] >> 4];
    text += kHex[address.s6_addr[i] & 0xf];
  }
  return text;
}

std::vector<std::string> SplitBypassList(const std::string& text) {
  const boost::char_separator<char> separators("; ");
  const boost::tokenizer<boost::char_separator<char>> tokens(text, separators);
  return std::vector<std::string>(tokens.begin(), tokens.end());
}

}  // namespace

std::string SelectProxyForUrl(const std::string& url, const std::string& proxyList,
                              const std::string& bypassList) {
  std::string host = Poco::URI(url).getHost();
  host = NormalAddress(host).value_or(host);
  const std::vector<std::string> entries = SplitProxyList(proxyList);
  if (entries.empty()) return "";

  static const std::string kHttpPrefix = "http=";
  std::string httpEntry;
  std::string plainEntry;
  bool foundHttp = false;
  bool foundPlain = false;
  for (const std::string& entry : entries) {
    if (!foundHttp && entry.size() > kHttpPrefix.size() &&
        entry.compare(0, kHttpPrefix.size(), kHttpPrefix) == 0) {
      httpEntry = entry.substr(kHttpPrefix.size());
      foundHttp = true;
    } else if (!foundPlain && IsPlainEntry(entry)) {
      plainEntry = entry;
      foundPlain = true;
    }
  }
  const std::string chosen = foundHttp ? httpEntry : plainEntry;
  if (chosen == ":" || chosen == "::") return "";
  if (MatchesProxyBypassList(host, bypassList)) return "";
  return EncodeUserInfo(chosen);
}

std::vector<std::string> SplitProxyList(const std::string& text) {
  std::vector<std::string> entries;
  std::size_t begin = 0;
  while (true) {
    while (begin < text.size() && IsSeparator(text[begin])) ++begin;
    if (begin == text.size()) return entries;
    const std::size_t end = EntryEnd(text, begin);
    entries.push_back(text.substr(begin, end - begin));
    begin = end;
  }
}

std::optional<std::string> NormalAddress(const std::string& host) {
  if (const std::optional<std::uint32_t> ipv4 = ReadIpv4Address(host)) return DottedDecimal(*ipv4);
  return FullIpv6(host);
}

bool MatchesProxyBypassList(const std::string& host, const std::string& bypassList) {
  for (const std::string& entry : SplitBypassList(bypassList)) {
    try {
      if (MatchesProxyBypassEntry(host, entry)) return true;
    } catch (const boost::xpressive::regex_error&) {
      // One malformed entry in the user's settings must not decide for the others.
    }
  }
  return false;
}

bool MatchesProxyBypassEntry(const std::string& host, const std::string& entry) {
  std::string pattern = "^" + entry + "$";
  boost::algorithm::replace_all(pattern, ".", "\\.");
  boost::algorithm::replace_all(pattern, "*", ".*");
  const boost::xpressive::sregex regex = boost::xpressive::sregex::compile(pattern);
  return boost::xpressive::regex_match(host, regex);
}

}  // namespace zarn
