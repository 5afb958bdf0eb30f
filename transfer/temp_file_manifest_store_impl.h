#ifndef ZARN_TRANSFER_TEMP_FILE_MANIFEST_STORE_IMPL_H_
#define ZARN_TRANSFER_TEMP_FILE_MANIFEST_STORE_IMPL_H_

#include <memory>
#include <string>

#include "transfer/manifest_store_impl.h"

namespace zarn {

class SharedFile;
class SharedFileFactory;

// Keeps each record in its own file in a private folder below the system temporary folder.
// Failures of Read and Write surface as ManifestStreamException.
class TempFileManifestStoreImpl : public ManifestStoreImpl {
 public:
  // `folder` is relative to the system temporary folder.
  TempFileManifestStoreImpl(const std::string& folder, SharedFileFactory* sharedFileFactory);
  TempFileManifestStoreImpl(const TempFileManifestStoreImpl&) = delete;
  TempFileManifestStoreImpl& operator=(const TempFileManifestStoreImpl&) = delete;

  // Appends the whole file of `id` to `out`.
  void Read(const std::string& id, std::ostream& out) override;
  // Creates the file of `id` (an existing one makes this fail) with the whole of `in`. A
  // file that could not be written completely is removed again, so that it cannot block
  // a later save under the same id.
  void Write(std::istream& in, const std::string& id) override;

  bool RemoveFile(const std::string& id);
  std::shared_ptr<SharedFile> OpenForRead(const std::string& id);
  std::shared_ptr<SharedFile> OpenForWrite(const std::string& id);

  virtual std::string GetFileName(const std::string& id) const = 0;

 private:
  std::string RelativePath(const std::string& id) const;

  std::string folder_;
  SharedFileFactory* sharedFileFactory_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TEMP_FILE_MANIFEST_STORE_IMPL_H_
