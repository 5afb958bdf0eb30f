#ifndef ZARN_TESTING_LOOPBACK_PORT_H_
#define ZARN_TESTING_LOOPBACK_PORT_H_

// Ports of 127.0.0.1 for servers that tests and benchmarks start as processes of their own.

#include <cstdint>

namespace zarn {

// A port that was free a moment ago (bound, then released). Throws std::runtime_error when
// no socket can be bound.
std::uint16_t FreePort();

// Whether something accepts connections on the port now.
bool PortAccepts(std::uint16_t port);

}  // namespace zarn

#endif  // ZARN_TESTING_LOOPBACK_PORT_H_
