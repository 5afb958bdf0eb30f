#ifndef ZARN_UPDATER_MESSAGE_CATALOG_H_
#define ZARN_UPDATER_MESSAGE_CATALOG_H_

#include <string>
#include <vector>

namespace zarn {

// Where the locale reads its gettext catalogs from: a root that catalog paths begin with, a
// message domain, and a loader that answers a catalog path with the catalog's bytes.
class MessageCatalog {
 public:
  virtual ~MessageCatalog() = default;
  virtual std::string GetPath() const = 0;
  virtual std::string GetName() const = 0;
  // The bytes of the catalog at `path`; empty when there is none. `encoding` is ignored.
  virtual std::vector<char> LoadFile(const std::string& path,
                                     const std::string& encoding) const = 0;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_MESSAGE_CATALOG_H_
