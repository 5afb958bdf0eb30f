#ifndef ZARN_HTTP_CURL_HTTP_REQUEST_H_
#define ZARN_HTTP_CURL_HTTP_REQUEST_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "http/http_request.h"

struct curl_slist;

namespace zarn {

// True when libcurl's global initialisation, run once at start-up, succeeded. Its clean-up
// runs among the exit-time destructors.
bool CurlGlobalInitialized();

// The result of an exchange that libcurl ended with code (a CURLcode). httpCode is the
// status the server sent (0 for none); answered tells whether the server had begun to
// answer, which makes codes that otherwise name the request or the client's memory the
// server's fault.
HttpRequestResult ClassifyCurlResult(int code, std::uint32_t httpCode, bool answered);

// One libcurl easy handle, kept for the object's life and reused by every Reset, so that
// connections libcurl keeps open serve the next exchange. The body goes straight to the
// parameters' sink; Cancel stops a transfer at libcurl's next progress or body callback.
class CurlHttpRequest : public HttpRequest {
 public:
  // Throws std::runtime_error when libcurl is not usable.
  CurlHttpRequest(HttpRequestParams params, std::string proxy);
  ~CurlHttpRequest() override;

  HttpRequestStatus Perform() override;
  HttpRequestStatus GetStatus() override;
  void Cancel() override;
  bool Reset(HttpRequestParams&& params, const std::string& proxy) override;

 private:
  void ApplyOptions();                // under mutex_ once constructed
  HttpRequestResult CurrentResult();  // the status's result alone, cheaper than a copy
  bool BeginPerform();
  void EndPerform(int code);
  void ApplyWriteResult(HttpRequestStatus answer);  // its message moved, never copied

  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
  static int OnProgress(void* self, std::int64_t, std::int64_t, std::int64_t, std::int64_t);

  void* handle_ = nullptr;   // the CURL easy handle
  bool performing_ = false;  // true while libcurl is inside its transfer call
  std::mutex mutex_;
  HttpRequestStatus status_;
  curl_slist* headers_ = nullptr;  // empty unless the request is a POST
};

}  // namespace zarn

#endif  // ZARN_HTTP_CURL_HTTP_REQUEST_H_
