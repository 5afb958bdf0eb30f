#ifndef ZARN_HTTP_LIBPROXY_HTTP_PROXY_H_
#define ZARN_HTTP_LIBPROXY_HTTP_PROXY_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http/http_proxy.h"

namespace zarn {

// Automatic proxy configuration (a configuration script or auto-detection) answered by
// libproxy, whose query can block for as long as a script server keeps it waiting. Each
// query therefore runs on a thread of its own, and a request waits for its answer at most
// the time-out. One query at a time is outstanding: a request that finds one still
// running waits for it (within its own time-out) before it asks, so a script that never
// answers holds one thread, not one per request. No lock is held while a request waits.
// A failed query makes every later answer "" without asking again, and a query that has
// not answered within a request's time-out has failed: that request and every later one
// go direct at once, so a script server that never answers costs one time-out, not one
// per request.
class LibproxyHttpProxy : public HttpProxy {
 public:
  // Fills proxies with the answer for url, in order ("direct://", "http://host:port",
  // ...); false when the query failed. Runs on the query's own thread; may never return.
  using Query = std::function<bool(const std::string& url, std::vector<std::string>* proxies)>;

  // A timeout of 0 waits without limit.
  explicit LibproxyHttpProxy(std::chrono::milliseconds timeout, Query query = MakeLibproxyQuery());
  ~LibproxyHttpProxy() override;  // an outstanding query finishes on its own
  LibproxyHttpProxy(const LibproxyHttpProxy&) = delete;
  LibproxyHttpProxy& operator=(const LibproxyHttpProxy&) = delete;

  std::string GetProxy(const std::string& url) override;

  // Asks a new libproxy factory, which reads the process's proxy settings (the
  // environment); every query fails when no factory could be made.
  static Query MakeLibproxyQuery();

 private:
  struct Shared;

  // libproxy's answer for url within the time-out; false sends the request direct.
  bool Ask(const std::string& url, std::vector<std::string>* proxies);

  const std::chrono::milliseconds timeout_;
  const std::shared_ptr<Shared> shared_;  // also held by the outstanding query's thread
};

}  // namespace zarn

#endif  // ZARN_HTTP_LIBPROXY_HTTP_PROXY_H_
