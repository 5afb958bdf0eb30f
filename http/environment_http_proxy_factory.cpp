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

// An IPv6 address as URLs name it (lower case, as the URL parser gives hosts), in its
// canonical form and, when written otherwise, as written; none when it is no address.
std::vector<std::string> Ipv6Entries(const std::string& text) {
  in6_addr address{};
  if (::inet_pton(AF_INET6, text.c_str(), &address) != 1) return {};
  char canonical[INET6_ADDRSTRLEN] = {};
  if (::inet_ntop(AF_INET6, &address, canonical, sizeof canonical) == nullptr) return {};
  std::vector<std::string> entries{canonical};
  if (text != canonical) entries.push_back(text);
  return entries;
}

// One no_proxy item as bypass entries; none when it names nothing a pattern can match.
std::vector<std::string> TranslateNoProxyItem(std::string item) {
  std::transform(item.begin(), item.end(), item.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  if (item == "*") return {"*"};
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
