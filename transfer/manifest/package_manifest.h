#ifndef ZARN_TRANSFER_MANIFEST_PACKAGE_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_PACKAGE_MANIFEST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transfer/manifest/input_manifest.h"

namespace zarn {

class FileManifest;

using FileManifestList = std::vector<std::shared_ptr<FileManifest>>;

// What a transfer downloads: the package's identity, its files, and the optional run file
// that is fetched first and started afterwards. Immutable once read.
class PackageManifest : public InputManifest {
 public:
  ~PackageManifest() override = default;
  virtual const std::string& GetId() const = 0;
  virtual const std::string& GetName() const = 0;
  virtual const std::string& GetPartnerId() const = 0;
  virtual const std::string& GetVersionId() const = 0;
  // Every file, in document order.
  virtual const FileManifestList& GetFiles() const = 0;
  // The files whose path is the run path, and all the others; each file is in one of them.
  virtual const FileManifestList& GetRunFiles() const = 0;
  virtual const FileManifestList& GetOtherFiles() const = 0;
  // The run path; empty when the package has none.
  virtual const std::string& GetRun() const = 0;
  // The (last) file whose path is the run path; empty when there is none.
  virtual std::shared_ptr<FileManifest> GetRunFile() const = 0;
};

// Sum of the sizes of every file of the package.
uint64_t GetPackageTotalSize(const PackageManifest& package);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_PACKAGE_MANIFEST_H_
