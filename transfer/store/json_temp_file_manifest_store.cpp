#include "transfer/store/json_temp_file_manifest_store.h"

#include "transfer/transfer_manifest.h"

namespace zarn {

JsonTempFileManifestStore::JsonTempFileManifestStore(const std::string& transfersFolder,
                                                     SharedFileFactory* sharedFileFactory)
    : impl_(transfersFolder, sharedFileFactory) {}

bool JsonTempFileManifestStore::Load(const std::string& id, TransferManifest& record) {
  try {
    ReadManifest(impl_, id, record);
    return true;
  } catch (...) {
    return false;
  }
}

bool JsonTempFileManifestStore::Save(const std::string& id, const TransferManifest& record) {
  try {
    WriteManifest(impl_, id, record);
    return true;
  } catch (...) {
    return false;
  }
}

bool JsonTempFileManifestStore::Remove(const std::string& id) {
  try {
    return impl_.RemoveFile(id);
  } catch (...) {
    return false;
  }
}

JsonTempFileManifestStoreImpl& JsonTempFileManifestStore::GetImpl() { return impl_; }

}  // namespace zarn
