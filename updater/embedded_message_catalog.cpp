#include "updater/embedded_message_catalog.h"

#include <utility>

#include "updater/module_resources.h"

namespace zarn {

EmbeddedMessageCatalog::EmbeddedMessageCatalog(const ModuleResources& module, std::string domain)
    : module_(module), domain_(std::move(domain)) {}

void EmbeddedMessageCatalog::AddLanguage(const std::string& folder, uint16_t id) {
  paths_.emplace(MakeCatalogPath(folder), id);
}

std::string EmbeddedMessageCatalog::MakeCatalogPath(const std::string& folder) const {
  return GetPath() + "/" + folder + "/LC_MESSAGES/" + domain_ + ".mo";
}

std::vector<char> EmbeddedMessageCatalog::LoadFile(const std::string& path,
                                                   const std::string& /*encoding*/) const {
  auto it = paths_.find(path);
  if (it == paths_.end()) return {};
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  if (!module_.FindBinary("MO", it->second, &data, &size)) return {};
  return std::vector<char>(data, data + size);
}

void LanguageTable(EmbeddedMessageCatalog* catalog) {
  static const struct {
    const char* folder;
    uint16_t id;
  } kLanguages[] = {
      {"cs", 111},    {"de", 112},    {"el", 113},    {"es", 115},    {"es_AR", 114},
      {"es_BO", 114}, {"es_CL", 114}, {"es_CO", 114}, {"es_CR", 114}, {"es_DO", 114},
      {"es_EC", 114}, {"es_SV", 114}, {"es_GT", 114}, {"es_HN", 114}, {"es_MX", 114},
      {"es_NI", 114}, {"es_PA", 114}, {"es_PY", 114}, {"es_PE", 114}, {"es_PR", 114},
      {"es_UY", 114}, {"es_VE", 114}, {"es_ES", 115}, {"fr", 116},    {"it", 117},
      {"ja", 118},    {"ko", 119},    {"nl", 120},    {"pl", 121},    {"pt", 122},
      {"ro", 123},    {"ru", 124},    {"th", 125},    {"tr", 126},    {"zh", 127},
      {"zh_CN", 127}, {"zh_SG", 127}, {"zh_TW", 128}, {"zh_HK", 128}, {"zh_MO", 128},
  };
  for (const auto& language : kLanguages) catalog->AddLanguage(language.folder, language.id);
}

}  // namespace zarn
