#include "transfer/manifest/http_manifest_source.h"

#include <new>
#include <ostream>

#include "http/http_request.h"
#include "http/http_request_factory.h"
#include "http/http_request_params.h"
#include "http/http_write_callback.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

// Appends every piece of the body to the caller's stream.
class StreamWriter : public HttpWriteCallback {
 public:
  explicit StreamWriter(std::ostream* out) : out_(out) {}

  HttpRequestStatus Write(const std::uint8_t* data, std::uint32_t length) override {
    if (length == 0) return HttpRequestStatus(HttpRequestResult::Succeeded, 0);
    out_->write(reinterpret_cast<const char*>(data), length);
    if (out_->good()) return HttpRequestStatus(HttpRequestResult::Succeeded, length);
    return HttpRequestStatus(HttpRequestResult::WriteFailed, 0);
  }

 private:
  std::ostream* out_;
};

}  // namespace

HttpManifestSource::HttpManifestSource(const std::string& url,
                                       HttpRequestFactory* requestFactory,
                                       std::shared_ptr<HttpSession> session,
                                       uint32_t connectTimeout, uint32_t timeout)
    : url_(url),
      requestFactory_(requestFactory),
      session_(std::move(session)),
      connectTimeout_(connectTimeout),
      timeout_(timeout) {}

void HttpManifestSource::Read(const std::string& /*id*/, std::ostream& out) {
  StreamWriter writer(&out);
  HttpRequestParams params(url_, &writer);
  params.connectTimeout = connectTimeout_;
  params.timeout = timeout_;
  HttpRequestStatus status(HttpRequestResult::Idle, 0);
  {
    // The request goes back to its pool when released, before anything is thrown.
    const std::shared_ptr<HttpRequest> request =
        requestFactory_->CreateForSession(params, session_);
    status = request->Perform();
  }
  switch (status.result) {
    case HttpRequestResult::Succeeded:
      if (!out.good()) throw ManifestStreamException(status.message);
      return;
    case HttpRequestResult::OutOfMemory:
      throw std::bad_alloc();
    case HttpRequestResult::ClientError:
    case HttpRequestResult::BadUrl:
      throw ManifestLocatorException(status.message);
    default:
      throw ManifestStreamException(status.message);
  }
}

}  // namespace zarn
