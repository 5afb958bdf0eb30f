#include "transfer/manifest/http_manifest_source.h"

#include <algorithm>
#include <new>

#include "http/http_request.h"
#include "http/http_request_factory.h"
#include "http/http_request_params.h"
#include "http/http_write_callback.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

// Appends every piece of the body to the caller's text, up to kMaxManifestBytes in all. The
// text grows by doubling but never past the bound, so a body at the bound is held once.
class BoundedTextWriter : public HttpWriteCallback {
 public:
  explicit BoundedTextWriter(std::string* out) : out_(out) {}

  HttpRequestStatus Write(const std::uint8_t* data, std::uint32_t length) override {
    const std::size_t needed = out_->size() + length;
    if (needed > kMaxManifestBytes) {
      tooLong_ = true;
      return HttpRequestStatus(HttpRequestResult::WriteFailed, 0);
    }
    try {
      if (needed > out_->capacity()) {
        out_->reserve(std::min(std::max(needed, 2 * out_->capacity()), kMaxManifestBytes));
      }
      out_->append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
      // Nothing may be thrown through the library's callback.
      return HttpRequestStatus(HttpRequestResult::OutOfMemory, 0);
    }
    return HttpRequestStatus(HttpRequestResult::Succeeded, length);
  }

  bool TooLong() const { return tooLong_; }

 private:
  std::string* out_;
  bool tooLong_ = false;
};

}  // namespace

HttpManifestSource::HttpManifestSource(const std::string& url, HttpRequestFactory* requestFactory,
                                       std::shared_ptr<HttpSession> session,
                                       uint32_t connectTimeout, uint32_t timeout)
    : url_(url),
      requestFactory_(requestFactory),
      session_(std::move(session)),
      connectTimeout_(connectTimeout),
      timeout_(timeout) {}

void HttpManifestSource::Read(const std::string& /*id*/, std::string& out) {
  BoundedTextWriter writer(&out);
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
  if (writer.TooLong()) throw ManifestParseException();
  switch (status.result) {
    case HttpRequestResult::Succeeded:
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
