#ifndef ZARN_TRANSFER_MANIFEST_NODE_HOST_H_
#define ZARN_TRANSFER_MANIFEST_NODE_HOST_H_

#include <string>

namespace zarn {

// Whether a node list's Host can stand as the authority of a chunk URL as it is: a name,
// or an IPv6 address in brackets, with an optional port from 1 to 65535. Only what would
// change the URL is refused: a '/', '\', '?' or '#' would move the path, a '@' would send
// credentials, a '%' would be read as an escape, a '[', ']' or another ':' would be read
// as an address or a port, and blanks and control bytes are no part of any URL. A name
// that resolvers read as a number must be an IPv4 address in dotted decimal: 10.1,
// 010.0.0.1 or 0x7f.1 would name another address than they show. Any other name is taken
// as the network has it (cdn_1.example, node.example.), to be resolved when a request is
// made; one that does not resolve fails that node's requests. A name of more than 253
// bytes (a final '.' aside) is refused: no resolver looks it up, and every node's host is
// carried into the transfer's analytics and its work log.
bool IsValidNodeHost(const std::string& host);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_NODE_HOST_H_
