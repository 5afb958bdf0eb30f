#ifndef ZARN_E2E_NGINX_NODE_H_
#define ZARN_E2E_NGINX_NODE_H_

// One nginx server on 127.0.0.1 at a free port, serving a folder, run by the test as a
// single foreground process and stopped (or killed) by it.
//
//   NginxNode node(root);          // throws std::runtime_error when nginx cannot start
//   node.Host();                   // "127.0.0.1:<port>"
//   node.Kill();                   // SIGKILL: the node dies with its connections

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace zarn {

class NginxNode {
 public:
  explicit NginxNode(const std::string& root);
  ~NginxNode();  // Stop
  NginxNode(const NginxNode&) = delete;
  NginxNode& operator=(const NginxNode&) = delete;

  // False when no nginx executable is installed (tests then skip).
  static bool Available();

  std::uint16_t Port() const { return port_; }
  std::string Host() const;

  // Ends the server: SIGTERM (Kill: SIGKILL) and a bounded wait for the process.
  void Stop();
  void Kill();

 private:
  void StartOnce(std::uint16_t port);
  void End(int signal);

  std::string root_;
  std::string prefix_;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace zarn

#endif  // ZARN_E2E_NGINX_NODE_H_
