#include "http/curl_http_request.h"

#include <curl/curl.h>

#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "http/http_write_callback.h"

namespace zarn {
namespace {

// libcurl's receive buffer, per pooled request.
constexpr long kReceiveBufferBytes = 128 * 1024;

// OnProgress is declared without libcurl's header.
static_assert(std::is_same<curl_off_t, std::int64_t>::value, "curl_off_t is not int64_t");

// libcurl's global state, set up before main runs (single-threaded) and released among
// the exit-time destructors, after every request object is gone.
struct CurlGlobal {
  CurlGlobal() : initialized(curl_global_init(CURL_GLOBAL_ALL) == 0) {}
  ~CurlGlobal() {
    if (initialized) curl_global_cleanup();
  }
  const bool initialized;
};

const CurlGlobal curlGlobal;

// Whether the server had begun to answer when the exchange ended: a status code, header
// bytes, or the time of the first byte received (libcurl clears them for each exchange).
bool Answered(CURL* curl, std::uint32_t httpCode) {
  long headerBytes = 0;
  curl_off_t firstByte = 0;
  return httpCode != 0 ||
         (curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &headerBytes) == CURLE_OK &&
          headerBytes > 0) ||
         (curl_easy_getinfo(curl, CURLINFO_STARTTRANSFER_TIME_T, &firstByte) == CURLE_OK &&
          firstByte > 0);
}

}  // namespace

bool CurlGlobalInitialized() { return curlGlobal.initialized; }

// libcurl 7.88 gives some unusable answers codes that otherwise name the request or the
// client's memory: a header or status line over CURL_MAX_HTTP_HEADER is out of memory, an
// HTTP/0.9 or unparsable status line and a redirect to another protocol an unsupported
// protocol, a redirect to an unparsable URL a malformed one. Those codes therefore mean
// what they say only before any answer; after it they are the server's fault, a
// NetworkError, which costs the node its turn and leaves the transfer to another. A real
// shortage of memory after the first byte is taken for a bad answer too: the attempt moves
// to another node, where a lasting shortage shows again, while no server can end the
// transfer by its answer. Every code not named here (a weird reply, too many redirects, an
// empty reply, a body that does not decode, ...) is an OtherError.
HttpRequestResult ClassifyCurlResult(int code, std::uint32_t httpCode, bool answered) {
  switch (code) {
    case CURLE_OK:
      return HttpRequestResult::Succeeded;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return answered ? HttpRequestResult::NetworkError : HttpRequestResult::BadUrl;
    case CURLE_NOT_BUILT_IN:
      return HttpRequestResult::BadUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpRequestResult::ResolveFailed;
    case CURLE_COULDNT_CONNECT:
      return HttpRequestResult::ConnectFailed;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_REMOTE_FILE_NOT_FOUND:
      return httpCode < 500 ? HttpRequestResult::ClientError : HttpRequestResult::ServerError;
    case CURLE_PARTIAL_FILE:
    case CURLE_RANGE_ERROR:
      return HttpRequestResult::RangeError;
    case CURLE_WRITE_ERROR:
      return HttpRequestResult::WriteFailed;
    case CURLE_OUT_OF_MEMORY:
      return answered ? HttpRequestResult::NetworkError : HttpRequestResult::OutOfMemory;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpRequestResult::TimedOut;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:  // also bad chunked framing and too many header bytes in all
      return HttpRequestResult::NetworkError;
    default:
      return HttpRequestResult::OtherError;
  }
}

CurlHttpRequest::CurlHttpRequest(HttpRequestParams params, std::string proxy)
    : HttpRequest(std::move(params), std::move(proxy)), status_(HttpRequestResult::Idle, 0) {
  if (!CurlGlobalInitialized()) throw std::runtime_error("libcurl could not be initialized");
  handle_ = curl_easy_init();
  if (handle_ == nullptr) throw std::runtime_error("curl_easy_init failed");
  ApplyOptions();
}

CurlHttpRequest::~CurlHttpRequest() {
  curl_easy_cleanup(handle_);
  curl_slist_free_all(headers_);
}

void CurlHttpRequest::ApplyOptions() {
  CURL* curl = handle_;
  curl_easy_reset(curl);
  curl_slist_free_all(headers_);
  headers_ = nullptr;

  // A reset clears these too. Without NOSIGNAL libcurl may use alarm() for name
  // resolution and swaps the process's SIGPIPE handling around every transfer, which is
  // unsafe with many threads. The proxy is always set ("" = direct) and the no-proxy list
  // emptied, so that libcurl never follows proxy variables of the environment: the
  // session's proxy has already decided.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy_.c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  // Plain HTTP only, for the request and for any redirect: a server must not send the
  // client to another protocol that libcurl happens to know (ftp, file, ...).
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  // Bodies of several MiB arrive in larger reads than the 16 KiB default: fewer receive
  // calls and sink calls per chunk.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);

  curl_easy_setopt(curl, CURLOPT_URL, params_.url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, params_.userAgent.c_str());
  if (params_.method == 1) {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, params_.body.c_str());
    headers_ = curl_slist_append(nullptr, ("Content-Type: " + params_.contentType).c_str());
  }
  if (!params_.HasRange()) {
    if (!params_.acceptEncoding.empty()) {
      curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, params_.acceptEncoding.c_str());
    }
  } else {
    const std::string range =
        std::to_string(params_.rangeBegin) + "-" + std::to_string(params_.rangeEnd);
    curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());  // libcurl copies the text
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlHttpRequest::OnWrite);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CurlHttpRequest::OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 1L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(params_.connectTimeout));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(params_.timeout));
  if (params_.lowSpeedLimit > 0 && params_.lowSpeedTime > 0) {
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(params_.lowSpeedLimit));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(params_.lowSpeedTime));
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers_);
}

HttpRequestStatus CurlHttpRequest::Perform() {
  if (BeginPerform()) EndPerform(curl_easy_perform(handle_));
  return GetStatus();
}

HttpRequestStatus CurlHttpRequest::GetStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

HttpRequestResult CurlHttpRequest::CurrentResult() {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_.result;
}

void CurlHttpRequest::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.result == HttpRequestResult::Idle || status_.result == HttpRequestResult::Running) {
    status_.result = HttpRequestResult::Cancelled;
  }
}

bool CurlHttpRequest::Reset(HttpRequestParams&& params, const std::string& proxy) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.result == HttpRequestResult::Running || performing_) return false;
  params_ = std::move(params);
  proxy_ = proxy;
  status_ = HttpRequestStatus(HttpRequestResult::Idle, 0);
  ApplyOptions();
  return true;
}

bool CurlHttpRequest::BeginPerform() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.result != HttpRequestResult::Idle) return false;
  status_.result = HttpRequestResult::Running;
  performing_ = true;
  return true;
}

void CurlHttpRequest::EndPerform(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  long httpCode = 0;
  if (curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &httpCode) == CURLE_OK) {
    status_.httpCode = static_cast<std::uint32_t>(httpCode);
  }
  char* ip = nullptr;
  if (curl_easy_getinfo(handle_, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip != nullptr) {
    status_.serverIp = ip;
  }
  performing_ = false;
  // The body is sent: an idle request in a pool must not hold a large post until its next
  // use. libcurl reads it again only after a Reset has given it a new one.
  std::string().swap(params_.body);
  if (status_.result != HttpRequestResult::Running) return;  // cancelled or set by the sink
  status_.result = ClassifyCurlResult(code, status_.httpCode, Answered(handle_, status_.httpCode));
  if (status_.result != HttpRequestResult::Succeeded) {
    status_.message = "libcurl error " + std::to_string(code) + " (HTTP " +
                      std::to_string(status_.httpCode) + ")";
  }
}

void CurlHttpRequest::ApplyWriteResult(HttpRequestStatus answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.bytes += answer.bytes;
  if (status_.result != HttpRequestResult::Running ||
      answer.result == HttpRequestResult::Succeeded) {
    return;
  }
  if (answer.result == HttpRequestResult::RangeError ||
      answer.result == HttpRequestResult::OutOfMemory) {
    status_.result = answer.result;
  } else {
    status_.result = HttpRequestResult::WriteFailed;
  }
  status_.message = std::move(answer.message);
}

// Called from libcurl's C frames: nothing may propagate out of it, from its handlers
// neither, so they allocate nothing they cannot do without. A throwing sink counts as a
// sink that refused the piece.
std::size_t CurlHttpRequest::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
  auto* request = static_cast<CurlHttpRequest*>(self);
  try {
    if (request->CurrentResult() != HttpRequestResult::Running) return 0;
    const auto length = static_cast<std::uint32_t>(size * count);
    HttpRequestStatus answer =
        request->params_.sink->Write(reinterpret_cast<const std::uint8_t*>(data), length);
    const auto taken = static_cast<std::uint32_t>(answer.bytes);
    request->ApplyWriteResult(std::move(answer));
    return taken;
  } catch (const std::bad_alloc&) {
    request->ApplyWriteResult(HttpRequestStatus(HttpRequestResult::OutOfMemory, 0));
  } catch (const std::exception& e) {
    HttpRequestStatus answer(HttpRequestResult::WriteFailed, 0);
    try {
      answer.message = e.what();
    } catch (const std::bad_alloc&) {
      // No room for the sink's text: the failure stands without it.
    }
    request->ApplyWriteResult(std::move(answer));
  } catch (...) {
    request->ApplyWriteResult(HttpRequestStatus(HttpRequestResult::WriteFailed, 0));
  }
  return 0;
}

int CurlHttpRequest::OnProgress(void* self, std::int64_t, std::int64_t, std::int64_t,
                                std::int64_t) {
  try {
    auto* request = static_cast<CurlHttpRequest*>(self);
    return request->CurrentResult() == HttpRequestResult::Running ? 0 : 1;
  } catch (...) {
    return 1;  // abort rather than let anything cross libcurl's frames
  }
}

}  // namespace zarn
