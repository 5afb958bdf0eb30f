#ifndef ZARN_TRANSFER_STORE_JSON_TEMP_FILE_MANIFEST_STORE_H_
#define ZARN_TRANSFER_STORE_JSON_TEMP_FILE_MANIFEST_STORE_H_

#include <string>

#include "transfer/store/json_temp_file_manifest_store_impl.h"
#include "transfer/store/manifest_store.h"

namespace zarn {

class SharedFileFactory;
class TransferManifest;

// The transfer store: one JSON file per transfer id, "<id>.json" in the transfers folder
// below the system temporary folder. Calls for different ids may run at once.
class JsonTempFileManifestStore : public TempFileManifestStore<TransferManifest> {
 public:
  // `transfersFolder` is relative to the system temporary folder.
  JsonTempFileManifestStore(const std::string& transfersFolder,
                            SharedFileFactory* sharedFileFactory);

  bool Load(const std::string& id, TransferManifest& record) override;
  bool Save(const std::string& id, const TransferManifest& record) override;
  bool Remove(const std::string& id) override;

  virtual JsonTempFileManifestStoreImpl& GetImpl();

 private:
  JsonTempFileManifestStoreImpl impl_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_JSON_TEMP_FILE_MANIFEST_STORE_H_
