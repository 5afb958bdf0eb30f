#ifndef ZARN_TRANSFER_STORE_TEMP_FILE_MANIFEST_STORE_IMPL_H_
#define ZARN_TRANSFER_STORE_TEMP_FILE_MANIFEST_STORE_IMPL_H_

#include <cstddef>
#include <memory>
#include <string>

#include "transfer/store/manifest_store_impl.h"

namespace zarn {

class SharedFile;
class SharedFileFactory;

// Keeps each record in its own file in a private folder below the system temporary folder.
// Failures of Read and Write surface as ManifestStreamException. Only transfer ids (32
// lowercase hexadecimal digits) name files, and only in a folder that passes the
// private-folder rule (OpenPrivateFolder): any other id, or a refused folder, finds no
// file, and nothing is written or removed.
class TempFileManifestStoreImpl : public ManifestStoreImpl {
 public:
  // The largest record read or written. A record holds one transfer's identity, a few
  // KiB at most; the bound keeps a planted file from being read into memory whole.
  static constexpr std::size_t kMaxRecordBytes = 1 << 20;

  // `folder` is relative to the system temporary folder.
  TempFileManifestStoreImpl(const std::string& folder, SharedFileFactory* sharedFileFactory);
  TempFileManifestStoreImpl(const TempFileManifestStoreImpl&) = delete;
  TempFileManifestStoreImpl& operator=(const TempFileManifestStoreImpl&) = delete;

  // Appends the whole file of `id` to `out`; a file over kMaxRecordBytes fails.
  void Read(const std::string& id, std::string& out) override;
  // Creates the file of `id` (an existing one makes this fail) with the whole of `in`,
  // which must not exceed kMaxRecordBytes. A file that could not be written completely is
  // removed again, so that it cannot block a later save under the same id.
  void Write(std::istream& in, const std::string& id) override;

  // False for a missing file, a refused id or folder; never throws.
  bool RemoveFile(const std::string& id);
  // Throw a FileException kind, also for a refused id or folder. Only OpenForWrite
  // creates the folder.
  std::shared_ptr<SharedFile> OpenForRead(const std::string& id);
  std::shared_ptr<SharedFile> OpenForWrite(const std::string& id);

  virtual std::string GetFileName(const std::string& id) const = 0;

 private:
  // The file of `id` relative to the temporary folder, after checking the id and the
  // folder (created when `create_folder`).
  std::string CheckedPath(const std::string& id, bool create_folder) const;

  std::string folder_;
  SharedFileFactory* sharedFileFactory_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_TEMP_FILE_MANIFEST_STORE_IMPL_H_
