#ifndef ZARN_HTTP_ENVIRONMENT_HTTP_PROXY_FACTORY_H_
#define ZARN_HTTP_ENVIRONMENT_HTTP_PROXY_FACTORY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/http_proxy_factory.h"

namespace zarn {

// The user's proxy settings are the environment:
//   http_proxy (else HTTP_PROXY)   unset or empty: direct connections (EmptyHttpProxy);
//                                  "pac+URL" or "wpad://...": automatic configuration
//                                  (LibproxyHttpProxy); anything else is the manual proxy
//                                  list (ManualHttpProxy). Without a port, libcurl uses 1080.
//   no_proxy (else NO_PROXY)       the bypass list of the manual kind, translated by
//                                  TranslateNoProxy.
class EnvironmentHttpProxyFactory : public HttpProxyFactory {
 public:
  // Answers the value of a variable, "" when unset.
  using Environment = std::function<std::string(const std::string& name)>;

  // The four time-outs, in milliseconds, are the discovery limits of the settings. The
  // resolve time-out bounds the automatic query as a whole (LibproxyHttpProxy), and a
  // query that outlasts it fails for good: libproxy fetches a configuration script in one
  // blocking call that takes no limits of its own, so the connect, send and receive
  // time-outs have nothing to apply to.
  EnvironmentHttpProxyFactory(std::uint32_t resolveTimeout, std::uint32_t connectTimeout,
                              std::uint32_t sendTimeout, std::uint32_t receiveTimeout,
                              Environment environment = ProcessEnvironment);

  std::shared_ptr<HttpProxy> Create() override;

  // getenv.
  static std::string ProcessEnvironment(const std::string& name);

  // A no_proxy value ("a.com, .b.com,*.c.com 10.0.0.1 [::1]:80") as a bypass list
  // ("a.com;*.a.com;b.com;*.b.com;*.c.com;10.0.0.1;0000:...:0001"), in lower case as URL
  // hosts are read: a name or ".name" covers the name and its subdomains, "*.name" the
  // subdomains only, an IPv4 or IPv6 address (bare or in brackets) itself, an address
  // range ("10.0.0.0/8", "fd00::/8", "[fd00::]/8") every address in it, "*" every host.
  // Addresses and ranges become patterns for the normal form in which the bypass rules
  // match an address host (NormalAddress), so that every spelling of an address in a URL
  // meets them. A ":port" is dropped (the bypass holds for every port). An item that names
  // nothing a pattern can match (garbage, a range longer than its address) is skipped, so
  // that every entry of the list compiles.
  static std::string TranslateNoProxy(const std::string& noProxy);

 private:
  const std::uint32_t resolveTimeout_;
  const std::uint32_t connectTimeout_;
  const std::uint32_t sendTimeout_;
  const std::uint32_t receiveTimeout_;
  const Environment environment_;
};

}  // namespace zarn

#endif  // ZARN_HTTP_ENVIRONMENT_HTTP_PROXY_FACTORY_H_
