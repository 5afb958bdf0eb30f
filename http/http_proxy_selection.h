#ifndef ZARN_HTTP_HTTP_PROXY_SELECTION_H_
#define ZARN_HTTP_HTTP_PROXY_SELECTION_H_

#include <string>
#include <vector>

namespace zarn {

// The system's own proxy rules, shared by the manual and the automatic kind.
//
// A proxy list holds entries separated by ';' or ' ': "http=host:port" entries and plain
// "host:port" entries; entries for other schemes ("https=...") are never chosen. A bypass
// list holds host patterns in which '*' matches any run of characters; every other
// character keeps its regular-expression meaning and matching is case-sensitive.

// The first non-empty "http=" entry, else the first plain entry; "" when none, when the
// choice is ":" or "::", or when the URL's host is on the bypass list. Throws
// boost::xpressive::regex_error for a bypass entry that is no valid pattern, and
// Poco::SyntaxException for a URL that cannot be parsed.
std::string SelectProxyForUrl(const std::string& url, const std::string& proxyList,
                              const std::string& bypassList);

// The maximal runs of characters other than ';' and ' ', in order.
std::vector<std::string> SplitProxyList(const std::string& text);

// True when any entry of the bypass list matches the whole host.
bool MatchesProxyBypassList(const std::string& host, const std::string& bypassList);

// True when the entry, as a pattern, matches the whole host.
bool MatchesProxyBypassEntry(const std::string& host, const std::string& entry);

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_PROXY_SELECTION_H_
