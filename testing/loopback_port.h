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

// A port of 127.0.0.1 that refuses every connection for as long as this object lives: it
// stays bound without listening, so no server of a test running beside this one can take
// it over. Throws std::runtime_error when no socket can be bound.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  int fd_;
  std::uint16_t port_;
};

}  // namespace zarn

#endif  // ZARN_TESTING_LOOPBACK_PORT_H_
