#ifndef ZARN_TESTING_HTTP_TEST_SERVER_H_
#define ZARN_TESTING_HTTP_TEST_SERVER_H_

// An HTTP/1.1 server inside the test process, on a loopback address (127.0.0.1 unless
// told otherwise) at an ephemeral port, with scripted answers and faults. Several
// instances can run at once (as several nodes).
//
//   HttpTestServer server;                          // listening once constructed
//   server.ServeFile("/packages/a.bin", content);   // 200, or 206 for "Range: bytes=a-b"
//   HttpTestResponse fail;
//   fail.status = 503;
//   server.Enqueue("/packages/a.bin", fail);        // the next request only, then the file
//   ... request server.Url("/packages/a.bin") ...
//   server.Requests()[0].Header("Range");           // what arrived, in order
//
// Answers are chosen per path (the target without its query): first the one-shot answers
// queued by Enqueue, in order; then the answer set by Serve, ServeFile or Handle; else 404.
// Connections are kept alive unless the client or the answer says otherwise. Everything
// stops, stalls included, when the server is stopped or destroyed.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zarn {

// One request as the server received it.
struct HttpTestRequest {
  std::string method;                                        // "GET", "POST", ...
  std::string target;                                        // as sent: "/path?query"
  std::string path;                                          // the target without its query
  std::vector<std::pair<std::string, std::string>> headers;  // in order, names as sent
  std::string body;
  int connection = 0;  // number of the TCP connection it came on, from 1: shows reuse

  // The value of the first header of that name (any case); "" when absent.
  std::string Header(const std::string& name) const;
  // How many headers of that name (any case) the request carried.
  int HeaderCount(const std::string& name) const;
};

// A scripted answer. Byte positions of the faults count the body bytes of this answer,
// except corruptAt, which is an offset into the whole resource (so that one chunk of a
// file served by this node arrives corrupt, whichever range asks for it).
struct HttpTestResponse {
  static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
  static constexpr std::chrono::milliseconds kForever = std::chrono::milliseconds::max();

  // 302 (or status) with a Location header.
  static HttpTestResponse Redirect(const std::string& location, int status = 302);

  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // sent after the status line
  bool keepAlive = true;  // false: "Connection: close" and the connection ends after it

  // A 200 answers "Range: bytes=a-b" (or "bytes=a-") with 206, Content-Range and the slice,
  // or 416 when a is past the end. Set false to answer 200 with the whole body instead.
  bool ranges = true;
  // The ranged slice is this many bytes longer (> 0) or shorter (< 0) than asked, within
  // the body; Content-Length and Content-Range describe what is really sent.
  std::int64_t rangeLengthDelta = 0;

  std::chrono::milliseconds stallBeforeHeaders{0};  // accept, read, then say nothing
  std::size_t stallAtByte = kNever;                 // stop sending after this many body bytes ...
  std::chrono::milliseconds stallFor{0};            // ... for this long (kForever: until stopped)
  std::size_t dropAfterBytes = kNever;  // close the connection after this many body bytes
  bool resetOnDrop = false;             // ... by a reset (RST) instead of an orderly close
  std::size_t corruptAt = kNever;       // resource offset of bytes sent inverted
  std::size_t corruptLength = 1;
  std::size_t bytesPerSecond = 0;  // rate limit of the body; 0 = as fast as possible
};

class HttpTestServer {
 public:
  using Handler = std::function<HttpTestResponse(const HttpTestRequest&)>;

  // Listens on address (an IPv4 loopback address) at an ephemeral port.
  explicit HttpTestServer(const std::string& address = "127.0.0.1");
  ~HttpTestServer();  // Stop
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  std::uint16_t Port() const;
  std::string Host() const;                        // "<address>:<port>"
  std::string Url(const std::string& path) const;  // "http://<address>:<port>" + path

  // The same answer to every request for path.
  void Serve(const std::string& path, HttpTestResponse response);
  // 200 with content, ranges served; the common case of a file.
  void ServeFile(const std::string& path, std::string content);
  // An answer computed per request, on the connection's thread, without the server's lock.
  // A handler that throws answers 500 with the exception's text as the body.
  void Handle(const std::string& path, Handler handler);
  // A one-shot answer for the next request for path that finds no earlier queued one.
  void Enqueue(const std::string& path, HttpTestResponse response);

  // Every request received so far, in order of arrival (recorded before it is answered).
  std::vector<HttpTestRequest> Requests() const;
  std::size_t RequestCount() const;
  // Waits until at least count requests have arrived; false when timeout passed first.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // TCP connections accepted so far.
  int ConnectionCount() const;

  // Closes the listener and every connection, ends every stall and joins the server's
  // threads. Later requests are refused. Safe to call more than once.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zarn

#endif  // ZARN_TESTING_HTTP_TEST_SERVER_H_
