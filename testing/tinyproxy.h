#ifndef ZARN_TESTING_TINYPROXY_H_
#define ZARN_TESTING_TINYPROXY_H_

// A tinyproxy forward proxy on 127.0.0.1 at a free port, run by the test as a foreground
// process from a generated configuration and killed with the object. Requests it carries
// arrive with a "Via" header naming tinyproxy.
//
//   Tinyproxy proxy;
//   ASSERT_TRUE(proxy.Running());
//   setenv("http_proxy", proxy.Url().c_str(), 1);   // "http://127.0.0.1:<port>"

#include <cstdint>
#include <memory>
#include <string>

namespace zarn {

class ChildProcess;

class Tinyproxy {
 public:
  Tinyproxy();
  ~Tinyproxy();
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;

  // False when tinyproxy is missing or did not start.
  bool Running() const { return process_ != nullptr; }
  std::uint16_t Port() const { return port_; }
  std::string Url() const;

 private:
  void Start();

  std::string folder_;
  std::unique_ptr<ChildProcess> process_;
  std::uint16_t port_ = 0;
};

}  // namespace zarn

#endif  // ZARN_TESTING_TINYPROXY_H_
