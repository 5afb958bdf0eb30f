#ifndef ZARN_UPDATER_EMBEDDED_MESSAGE_CATALOG_H_
#define ZARN_UPDATER_EMBEDDED_MESSAGE_CATALOG_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "updater/message_catalog.h"

namespace zarn {

class ModuleResources;

// Catalogs compiled into the program as resources of type "MO", found by the catalog path
// of their language folder. The root is empty. Filled on one thread before the locale is
// built, read only afterwards.
class EmbeddedMessageCatalog : public MessageCatalog {
 public:
  EmbeddedMessageCatalog(const ModuleResources& module, std::string domain);

  // Maps the catalog path of `folder` to resource `id`; a path already mapped keeps its id.
  void AddLanguage(const std::string& folder, uint16_t id);
  // GetPath() + "/" + folder + "/LC_MESSAGES/" + domain + ".mo".
  std::string MakeCatalogPath(const std::string& folder) const;

  std::string GetPath() const override { return ""; }
  std::string GetName() const override { return domain_; }
  std::vector<char> LoadFile(const std::string& path, const std::string& encoding) const override;

 private:
  const ModuleResources& module_;
  std::string domain_;
  std::map<std::string, uint16_t> paths_;
};

// Registers the program's 40 language folders and their 18 catalogs (resources 111-128).
void LanguageTable(EmbeddedMessageCatalog* catalog);

}  // namespace zarn

#endif  // ZARN_UPDATER_EMBEDDED_MESSAGE_CATALOG_H_
