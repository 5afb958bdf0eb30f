#ifndef ZARN_TRANSFER_MANIFEST_HTTP_MANIFEST_SOURCE_H_
#define ZARN_TRANSFER_MANIFEST_HTTP_MANIFEST_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transfer/manifest/manifest_source.h"

namespace zarn {

class HttpRequestFactory;
class HttpSession;

// The largest manifest body accepted; a longer one ends its fetch while it is received.
constexpr std::size_t kMaxManifestBytes = 64u << 20;

// Fetches a manifest's bytes with one HTTP GET of a URL fixed at construction. A body past
// kMaxManifestBytes throws ManifestParseException as soon as it passes the bound. A client
// error or a rejected URL throws ManifestLocatorException, running out of memory
// std::bad_alloc, and every other failure ManifestStreamException (transient), each with
// the request's message. Parsing is left to the kind of document.
class HttpManifestSource : public ManifestSource {
 public:
  // requestFactory is not owned; session may be empty (the request is then not pooled).
  HttpManifestSource(const std::string& url, HttpRequestFactory* requestFactory,
                     std::shared_ptr<HttpSession> session, uint32_t connectTimeout,
                     uint32_t timeout);
  HttpManifestSource(const HttpManifestSource&) = delete;
  HttpManifestSource& operator=(const HttpManifestSource&) = delete;

  // Ignores id: the URL is fixed.
  void Read(const std::string& id, std::string& out) override;

 private:
  const std::string url_;
  HttpRequestFactory* const requestFactory_;
  const std::shared_ptr<HttpSession> session_;
  const uint32_t connectTimeout_;
  const uint32_t timeout_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_HTTP_MANIFEST_SOURCE_H_
