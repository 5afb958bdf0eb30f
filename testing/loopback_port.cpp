#include "testing/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace zarn {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// Binds a new socket to a free port of 127.0.0.1; -1 when that fails.
int BindToFreePort(std::uint16_t* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

std::uint16_t FreePort() {
  std::uint16_t port = 0;
  const int fd = BindToFreePort(&port);
  if (fd < 0) throw std::runtime_error("FreePort: bind failed");
  ::close(fd);
  return port;
}

RefusingPort::RefusingPort() : fd_(-1), port_(0) {
  fd_ = BindToFreePort(&port_);
  if (fd_ < 0) throw std::runtime_error("RefusingPort: bind failed");
}

RefusingPort::~RefusingPort() { ::close(fd_); }

bool PortAccepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = Loopback(port);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return connected;
}

}  // namespace zarn
