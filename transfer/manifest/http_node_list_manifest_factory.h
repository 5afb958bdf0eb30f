#ifndef ZARN_TRANSFER_MANIFEST_HTTP_NODE_LIST_MANIFEST_FACTORY_H_
#define ZARN_TRANSFER_MANIFEST_HTTP_NODE_LIST_MANIFEST_FACTORY_H_

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/manifest/node_list_manifest_factory.h"

namespace zarn {

class HttpRequestFactory;
class HttpSession;

// Node lists from the manifest host over HTTP. Holds no mutable state.
class HttpNodeListManifestFactory : public NodeListManifestFactory {
 public:
  // requestFactory is not owned; the time-outs are in seconds.
  HttpNodeListManifestFactory(const std::string& host, HttpRequestFactory* requestFactory,
                              uint32_t connectTimeout, uint32_t timeout);
  HttpNodeListManifestFactory(const HttpNodeListManifestFactory&) = delete;
  HttpNodeListManifestFactory& operator=(const HttpNodeListManifestFactory&) = delete;

  // The same as the form below without a session (the request is not pooled).
  std::shared_ptr<NodeListManifest> GetNodeList(const std::string& id) override;
  // Fetches with a request of session's pool; throws a ManifestException (or
  // std::bad_alloc).
  virtual std::shared_ptr<NodeListManifest> GetNodeList(const std::string& id,
                                                        std::shared_ptr<HttpSession> session) = 0;
  // "/nodes/" + id + ".xml" on the manifest host; throws ManifestLocatorException when it
  // cannot be built.
  virtual std::string GetUrl(const std::string& id) = 0;

 protected:
  const std::string host_;
  HttpRequestFactory* const requestFactory_;
  const uint32_t connectTimeout_;
  const uint32_t timeout_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_HTTP_NODE_LIST_MANIFEST_FACTORY_H_
