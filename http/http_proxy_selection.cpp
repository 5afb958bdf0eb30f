#include "http/http_proxy_selection.h"

#include <Poco/URI.h>

#include <boost/algorithm/string/replace.hpp>
#include <boost/tokenizer.hpp>
#include <boost/xpressive/xpressive_dynamic.hpp>

namespace zarn {

std::string SelectProxyForUrl(const std::string& url, const std::string& proxyList,
                              const std::string& bypassList) {
  const std::string host = Poco::URI(url).getHost();
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
    } else if (!foundPlain && entry.find('=') == std::string::npos) {
      plainEntry = entry;
      foundPlain = true;
    }
  }
  const std::string chosen = foundHttp ? httpEntry : plainEntry;
  if (chosen == ":" || chosen == "::") return "";
  if (MatchesProxyBypassList(host, bypassList)) return "";
  return chosen;
}

std::vector<std::string> SplitProxyList(const std::string& text) {
  const boost::char_separator<char> separators("; ");
  const boost::tokenizer<boost::char_separator<char>> tokens(text, separators);
  return std::vector<std::string>(tokens.begin(), tokens.end());
}

bool MatchesProxyBypassList(const std::string& host, const std::string& bypassList) {
  for (const std::string& entry : SplitProxyList(bypassList)) {
    if (MatchesProxyBypassEntry(host, entry)) return true;
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
