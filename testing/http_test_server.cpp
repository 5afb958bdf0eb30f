#include "testing/http_test_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace zarn {
namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPiece = 16 * 1024;

struct Slice {
  int status;
  std::size_t begin;  // resource offset of the first byte sent
  std::size_t length;
  std::string contentRange;
};

// Parses "bytes=a-b" or "bytes=a-"; false for anything else (answered as a plain 200).
bool ParseRange(const std::string& value, std::size_t* first, std::size_t* last) {
  static const std::string kPrefix = "bytes=";
  if (value.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  const std::string bounds = value.substr(kPrefix.size());
  const std::size_t dash = bounds.find('-');
  if (dash == std::string::npos || dash == 0 || bounds.find(',') != std::string::npos) {
    return false;
  }
  try {
    *first = std::stoull(bounds.substr(0, dash));
    *last =
        dash + 1 == bounds.size() ? HttpTestResponse::kNever : std::stoull(bounds.substr(dash + 1));
  } catch (const std::exception&) {
    return false;
  }
  return *first <= *last;
}

Slice ChooseSlice(const HttpTestRequest& request, const HttpTestResponse& response) {
  const std::size_t total = response.body.size();
  Slice slice{response.status, 0, total, ""};
  std::size_t first = 0;
  std::size_t last = 0;
  if (response.status != 200 || !response.ranges ||
      !ParseRange(request.Header("Range"), &first, &last)) {
    return slice;
  }
  if (first >= total) {
    return Slice{416, 0, 0, "bytes */" + std::to_string(total)};
  }
  const std::size_t asked = std::min(last, total - 1) - first + 1;
  std::int64_t length = static_cast<std::int64_t>(asked) + response.rangeLengthDelta;
  length = std::max<std::int64_t>(0, std::min<std::int64_t>(length, total - first));
  slice.status = 206;
  slice.begin = first;
  slice.length = static_cast<std::size_t>(length);
  slice.contentRange = "bytes " + std::to_string(first) + "-" +
                       std::to_string(first + slice.length - 1) + "/" + std::to_string(total);
  return slice;
}

std::string HeaderText(const Slice& slice, const HttpTestResponse& response, bool keepAlive) {
  std::string text = "HTTP/1.1 " + std::to_string(slice.status) + " " +
                     std::string(http::obsolete_reason(static_cast<http::status>(slice.status))) +
                     "\r\n";
  text += "Content-Length: " + std::to_string(slice.length) + "\r\n";
  if (!slice.contentRange.empty()) text += "Content-Range: " + slice.contentRange + "\r\n";
  for (const auto& header : response.headers) {
    text += header.first + ": " + header.second + "\r\n";
  }
  text += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  return text + "\r\n";
}

}  // namespace

HttpTestResponse HttpTestResponse::Redirect(const std::string& location, int status) {
  HttpTestResponse response;
  response.status = status;
  response.headers.emplace_back("Location", location);
  return response;
}

std::string HttpTestRequest::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (boost::algorithm::iequals(header.first, name)) return header.second;
  }
  return "";
}

int HttpTestRequest::HeaderCount(const std::string& name) const {
  return static_cast<int>(std::count_if(headers.begin(), headers.end(), [&](const auto& h) {
    return boost::algorithm::iequals(h.first, name);
  }));
}

struct HttpTestServer::Impl {
  struct Connection {
    explicit Connection(tcp::socket s) : socket(std::move(s)) {}
    // Closed when the Connection is destroyed, after its join, or under the server's lock
    // by a reset.
    tcp::socket socket;
    std::thread thread;
    std::atomic<bool> done{false};
    int number = 0;
  };

  Impl() : acceptor(context) {}

  void AcceptLoop();
  void ServeConnection(Connection* connection);
  std::shared_ptr<const HttpTestResponse> Answer(const HttpTestRequest& request);
  bool Send(Connection* connection, const HttpTestRequest& request,
            const HttpTestResponse& response, bool keepAlive);
  bool Wait(std::chrono::milliseconds duration);
  void Reset(Connection* connection);
  void ReapFinished();  // under mutex

  asio::io_context context;
  tcp::acceptor acceptor;
  std::string address;
  std::uint16_t port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;  // a request arrived, or the server stops
  bool stopping = false;
  struct Route {
    std::shared_ptr<const HttpTestResponse> fixed;  // shared by every request: no copies
    Handler handler;
  };
  std::map<std::string, Route> routes;
  std::map<std::string, std::deque<HttpTestResponse>> queued;
  std::vector<HttpTestRequest> requests;
  int connections = 0;
  std::vector<std::unique_ptr<Connection>> open;
  std::thread acceptThread;
};

HttpTestServer::HttpTestServer(const std::string& address) : impl_(new Impl) {
  impl_->address = address;
  const tcp::endpoint endpoint(asio::ip::make_address(address), 0);
  impl_->acceptor.open(endpoint.protocol());
  impl_->acceptor.set_option(tcp::acceptor::reuse_address(true));
  impl_->acceptor.bind(endpoint);
  impl_->acceptor.listen();
  impl_->port = impl_->acceptor.local_endpoint().port();
  impl_->acceptThread = std::thread([this] { impl_->AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->stopping) return;
    impl_->stopping = true;
    // shutdown() on the descriptors wakes the blocking accept, reads and writes; the
    // descriptors themselves stay open until their threads are joined.
    ::shutdown(impl_->acceptor.native_handle(), SHUT_RDWR);
    for (const auto& connection : impl_->open) {
      ::shutdown(connection->socket.native_handle(), SHUT_RDWR);
    }
  }
  impl_->changed.notify_all();
  impl_->acceptThread.join();
  std::vector<std::unique_ptr<Impl::Connection>> open;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    open.swap(impl_->open);
  }
  for (const auto& connection : open) connection->thread.join();
  boost::system::error_code ignored;
  impl_->acceptor.close(ignored);
}

std::uint16_t HttpTestServer::Port() const { return impl_->port; }

std::string HttpTestServer::Host() const {
  return impl_->address + ":" + std::to_string(impl_->port);
}

std::string HttpTestServer::Url(const std::string& path) const { return "http://" + Host() + path; }

void HttpTestServer::Serve(const std::string& path, HttpTestResponse response) {
  auto fixed = std::make_shared<const HttpTestResponse>(std::move(response));
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->routes[path] = Impl::Route{std::move(fixed), nullptr};
}

void HttpTestServer::ServeFile(const std::string& path, std::string content) {
  HttpTestResponse response;
  response.body = std::move(content);
  Serve(path, std::move(response));
}

void HttpTestServer::Handle(const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->routes[path] = Impl::Route{nullptr, std::move(handler)};
}

void HttpTestServer::Enqueue(const std::string& path, HttpTestResponse response) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->queued[path].push_back(std::move(response));
}

std::vector<HttpTestRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

std::size_t HttpTestServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests.size();
}

bool HttpTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->requests.size() >= count; });
}

int HttpTestServer::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->connections;
}

void HttpTestServer::Impl::AcceptLoop() {
  for (;;) {
    tcp::socket socket(context);
    boost::system::error_code error;
    acceptor.accept(socket, error);
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return;
    if (error) continue;
    ReapFinished();
    socket.set_option(tcp::no_delay(true), error);  // header and body go out in separate writes
    auto connection = std::make_unique<Connection>(std::move(socket));
    connection->number = ++connections;
    Connection* raw = connection.get();
    connection->thread = std::thread([this, raw] {
      ServeConnection(raw);
      raw->done = true;
    });
    open.push_back(std::move(connection));
  }
}

void HttpTestServer::Impl::ReapFinished() {
  auto finished = std::stable_partition(open.begin(), open.end(),
                                        [](const auto& c) { return !c->done.load(); });
  for (auto it = finished; it != open.end(); ++it) (*it)->thread.join();
  open.erase(finished, open.end());
}

void HttpTestServer::Impl::ServeConnection(Connection* connection) {
  boost::beast::flat_buffer buffer;
  for (;;) {
    http::request_parser<http::string_body> parser;
    parser.body_limit(256u * 1024 * 1024);
    parser.header_limit(1024 * 1024);  // every request head libcurl sends, long URLs too
    boost::system::error_code error;
    http::read(connection->socket, buffer, parser, error);
    if (error) break;
    const auto& message = parser.get();

    HttpTestRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.path = request.target.substr(0, request.target.find('?'));
    for (const auto& field : message) {
      request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    request.body = message.body();
    request.connection = connection->number;
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back(request);
    }
    changed.notify_all();

    const std::shared_ptr<const HttpTestResponse> response = Answer(request);
    const bool keepAlive = message.keep_alive() && response->keepAlive;
    if (!Send(connection, request, *response, keepAlive) || !keepAlive) break;
  }
  boost::system::error_code ignored;
  connection->socket.shutdown(tcp::socket::shutdown_both, ignored);
}

std::shared_ptr<const HttpTestResponse> HttpTestServer::Impl::Answer(
    const HttpTestRequest& request) {
  Route route;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto queue = queued.find(request.path);
    if (queue != queued.end() && !queue->second.empty()) {
      auto response = std::make_shared<const HttpTestResponse>(std::move(queue->second.front()));
      queue->second.pop_front();
      return response;
    }
    auto found = routes.find(request.path);
    if (found != routes.end()) route = found->second;
  }
  if (route.fixed) return route.fixed;
  HttpTestResponse response;
  response.status = 404;
  if (route.handler) {
    // A failing handler must not take the test process down from a server thread.
    try {
      response = route.handler(request);
    } catch (const std::exception& e) {
      response = HttpTestResponse();
      response.status = 500;
      response.body = std::string("handler threw: ") + e.what();
    }
  }
  return std::make_shared<const HttpTestResponse>(std::move(response));
}

bool HttpTestServer::Impl::Wait(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(mutex);
  if (duration == HttpTestResponse::kForever) {
    changed.wait(lock, [this] { return stopping; });
  } else {
    changed.wait_for(lock, duration, [this] { return stopping; });
  }
  return !stopping;
}

// A close with a linger time of zero sends a reset. Under the lock, because Stop shuts the
// connections' descriptors down.
void HttpTestServer::Impl::Reset(Connection* connection) {
  std::lock_guard<std::mutex> lock(mutex);
  boost::system::error_code ignored;
  connection->socket.set_option(asio::socket_base::linger(true, 0), ignored);
  connection->socket.close(ignored);
}

bool HttpTestServer::Impl::Send(Connection* connection, const HttpTestRequest& request,
                                const HttpTestResponse& response, bool keepAlive) {
  if (response.stallBeforeHeaders.count() > 0 && !Wait(response.stallBeforeHeaders)) return false;

  const Slice slice = ChooseSlice(request, response);
  const char* body = response.body.data() + slice.begin;
  std::string corrupted;
  if (response.corruptAt != HttpTestResponse::kNever) {
    corrupted.assign(body, slice.length);
    const std::size_t from = std::max(response.corruptAt, slice.begin);
    const std::size_t to =
        std::min(response.corruptAt + response.corruptLength, slice.begin + slice.length);
    for (std::size_t i = from; i < to; ++i) corrupted[i - slice.begin] ^= 0xFF;
    body = corrupted.data();
  }

  boost::system::error_code error;
  asio::write(connection->socket, asio::buffer(HeaderText(slice, response, keepAlive)), error);
  if (error) return false;

  const Clock::time_point start = Clock::now();
  bool stalled = false;
  std::size_t sent = 0;
  while (sent < slice.length) {
    if (sent == response.stallAtByte && !stalled) {
      stalled = true;
      if (!Wait(response.stallFor)) return false;
    }
    if (sent >= response.dropAfterBytes) {
      if (response.resetOnDrop) Reset(connection);
      return false;
    }
    std::size_t end = std::min(slice.length, sent + kPiece);
    if (sent < response.stallAtByte) end = std::min(end, response.stallAtByte);
    if (sent < response.dropAfterBytes) end = std::min(end, response.dropAfterBytes);
    if (response.bytesPerSecond > 0) {
      // Send no byte before its time: byte n leaves at n / rate seconds after the start.
      end = std::min(end, sent + std::max<std::size_t>(1, response.bytesPerSecond / 20));
      const auto due = start + std::chrono::microseconds(
                                   static_cast<std::int64_t>(sent * 1e6 / response.bytesPerSecond));
      const auto now = Clock::now();
      if (due > now && !Wait(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                             std::chrono::milliseconds(1))) {
        return false;
      }
    }
    asio::write(connection->socket, asio::buffer(body + sent, end - sent), error);
    if (error) return false;
    sent = end;
  }
  return true;
}

}  // namespace zarn
