#ifndef ZARN_HTTP_HTTP_PROXY_FACTORY_H_
#define ZARN_HTTP_HTTP_PROXY_FACTORY_H_

#include <memory>

namespace zarn {

class HttpProxy;

// Chooses the kind of proxy (none, automatic or manual) from the user's settings.
class HttpProxyFactory {
 public:
  virtual ~HttpProxyFactory() = default;

  // A new proxy object, chosen from the settings as they are now. Never fails: settings
  // that cannot be read give a proxy that always connects directly.
  virtual std::shared_ptr<HttpProxy> Create() = 0;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_PROXY_FACTORY_H_
