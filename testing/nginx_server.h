#ifndef ZARN_TESTING_NGINX_SERVER_H_
#define ZARN_TESTING_NGINX_SERVER_H_

// nginx serving one folder on free ports of 127.0.0.1, for end-to-end tests and
// benchmarks. Ports are picked free and bound by nginx a moment later; when another
// process takes one in between, nginx is started again on fresh ports. Run as root, the
// workers stay root, so that they can read the test's private folders.
//
//   NginxServer::Options options;
//   options.ports = 2;
//   NginxServer nginx(root, options);   // throws std::runtime_error when it cannot start
//   nginx.Host(1);                      // "127.0.0.1:<port>"
//   nginx.Kill();                       // SIGKILL: the server dies with its connections

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "testing/child_process.h"

namespace zarn {

class NginxServer {
 public:
  struct Options {
    int ports = 1;             // one server per port, each over the same root
    int workers = 0;           // worker processes; 0: one process, no master
    bool sendfile = true;      // sendfile and tcp_nopush
    std::string limitRate;     // nginx's limit_rate per connection ("": none) ...
    int firstLimitedPort = 0;  // ... from this port on (a manifest host may go first)
    bool accessLog = false;    // "<uri> <Range header> <status>" lines in AccessLog()
  };

  explicit NginxServer(const std::string& root);
  NginxServer(const std::string& root, const Options& options);
  ~NginxServer();  // Stop(), and nginx's folder removed
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // False when nginx is not installed (tests then skip).
  static bool Available();

  std::uint16_t Port(int i = 0) const { return ports_.at(i); }
  std::string Host(int i = 0) const;
  std::string AccessLog() const { return prefix_ + "/access.log"; }
  // nginx's own folder: configuration, error log, temporary files.
  const std::string& Prefix() const { return prefix_; }

  // Ends the server: SIGTERM and a bounded wait (Kill: SIGKILL).
  void Stop();
  void Kill();

 private:
  bool StartOnce();
  void WriteConfig() const;

  std::string root_;
  Options options_;
  std::string prefix_;
  std::vector<std::uint16_t> ports_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace zarn

#endif  // ZARN_TESTING_NGINX_SERVER_H_
