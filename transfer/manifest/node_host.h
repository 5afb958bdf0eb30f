#ifndef ZARN_TRANSFER_MANIFEST_NODE_HOST_H_
#define ZARN_TRANSFER_MANIFEST_NODE_HOST_H_

#include <string>

namespace zarn {

// Whether a node list's Host can stand as the authority of a chunk URL as it is: a DNS
// name (labels of letters, digits and '-'), an IPv4 address in dotted decimal, or an IPv6
// address in brackets, with an optional port from 1 to 65535. Nothing else may reach the
// URL: a '/', '?' or '#' would move the path, a '@' would send credentials, and a name
// that a resolver reads as a number in another base would name another address.
bool IsValidNodeHost(const std::string& host);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_NODE_HOST_H_
