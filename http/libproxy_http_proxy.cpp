#include "http/libproxy_http_proxy.h"

#include <proxy.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "http/http_proxy_selection.h"

namespace zarn {
namespace {

// libproxy answers URLs such as "direct://", "http://host:port" or "socks://host:port";
// only the http ones can carry a plain HTTP request here. They become a proxy list in
// the system's format, so that the same selection rules apply; one with user info keeps
// its scheme, which tells where the user info begins.
std::string ToProxyList(const std::vector<std::string>& proxies) {
  static const std::string kHttp = "http://";
  std::string list;
  for (const std::string& proxy : proxies) {
    if (proxy.compare(0, kHttp.size(), kHttp) != 0) continue;
    std::string authority = proxy.substr(kHttp.size());
    const std::size_t slash = authority.find('/');
    if (slash != std::string::npos) authority.erase(slash);
    if (authority.empty()) continue;
    if (!list.empty()) list += ';';
    list += authority.find('@') == std::string::npos ? authority : kHttp + authority;
  }
  return list;
}

bool IsDirect(const std::vector<std::string>& proxies) {
  return !proxies.empty() && proxies.front() == "direct://";
}

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Waits until ready holds or the deadline (if any) passes; answers ready().
template <typename Ready>
bool WaitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
               const Deadline& deadline, Ready ready) {
  if (!deadline) {
    changed.wait(lock, ready);
    return true;
  }
  return changed.wait_until(lock, *deadline, ready);
}

}  // namespace

// What the proxy and its outstanding query share; the query's thread holds it as long as
// it runs, which may be longer than the proxy lives.
struct LibproxyHttpProxy::Shared : std::enable_shared_from_this<Shared> {
  struct Answer {
    bool done = false;
    bool ok = false;
    std::vector<std::string> proxies;
  };

  explicit Shared(Query q) : query(std::move(q)) {}

  // Starts the query for url on a thread of its own, which fills answer; false when no
  // thread could be made. Under the mutex.
  bool Start(const std::string& url, const std::shared_ptr<Answer>& answer) {
    querying = true;
    try {
      std::thread(&Shared::Run, shared_from_this(), url, answer).detach();
      return true;
    } catch (const std::system_error&) {
      querying = false;
      return false;
    } catch (...) {
      querying = false;  // no memory for the thread: nobody may wait for its answer
      throw;
    }
  }

  void Run(const std::string& url, const std::shared_ptr<Answer>& answer) {
    std::vector<std::string> found;
    bool ok = false;
    try {
      ok = query(url, &found) && !found.empty();
    } catch (...) {
      ok = false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    answer->done = true;
    answer->ok = ok;
    answer->proxies = std::move(found);
    failed = failed || !ok;
    querying = false;
    changed.notify_all();
  }

  // A query that outlasts a request's time-out has failed: every request from now on,
  // those already waiting included, goes direct at once. Under the mutex; answers false.
  bool TimeOut() {
    failed = true;
    changed.notify_all();
    return false;
  }

  const Query query;
  std::mutex mutex;
  std::condition_variable changed;
  bool querying = false;  // a query is outstanding
  bool failed = false;
};

LibproxyHttpProxy::LibproxyHttpProxy(std::chrono::milliseconds timeout, Query query)
    : timeout_(timeout), shared_(std::make_shared<Shared>(std::move(query))) {}

LibproxyHttpProxy::~LibproxyHttpProxy() = default;

std::string LibproxyHttpProxy::GetProxy(const std::string& url) {
  std::vector<std::string> proxies;
  if (!Ask(url, &proxies) || IsDirect(proxies)) return "";
  try {
    return SelectProxyForUrl(url, ToProxyList(proxies), "");
  } catch (const std::exception&) {
    return "";
  }
}

bool LibproxyHttpProxy::Ask(const std::string& url, std::vector<std::string>* proxies) {
  Deadline deadline;
  if (timeout_.count() > 0) deadline = std::chrono::steady_clock::now() + timeout_;
  Shared& shared = *shared_;
  std::unique_lock<std::mutex> lock(shared.mutex);
  // Another request's query first: one at a time is outstanding.
  if (!WaitUntil(shared.changed, lock, deadline,
                 [&] { return !shared.querying || shared.failed; })) {
    return shared.TimeOut();
  }
  if (shared.failed) return false;
  auto answer = std::make_shared<Shared::Answer>();
  if (!shared.Start(url, answer)) return false;
  if (!WaitUntil(shared.changed, lock, deadline, [&] { return answer->done || shared.failed; })) {
    return shared.TimeOut();
  }
  if (!answer->done || !answer->ok) return false;
  *proxies = std::move(answer->proxies);
  return true;
}

LibproxyHttpProxy::Query LibproxyHttpProxy::MakeLibproxyQuery() {
  std::shared_ptr<pxProxyFactory> factory(px_proxy_factory_new(), [](pxProxyFactory* f) {
    if (f != nullptr) px_proxy_factory_free(f);
  });
  return [factory](const std::string& url, std::vector<std::string>* proxies) {
    if (!factory) return false;
    char** answer = px_proxy_factory_get_proxies(factory.get(), url.c_str());
    if (answer == nullptr) return false;
    for (char** p = answer; *p != nullptr; ++p) proxies->emplace_back(*p);
    px_proxy_factory_free_proxies(answer);
    return true;
  };
}

}  // namespace zarn
