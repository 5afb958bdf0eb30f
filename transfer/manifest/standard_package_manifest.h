#ifndef ZARN_TRANSFER_MANIFEST_STANDARD_PACKAGE_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_STANDARD_PACKAGE_MANIFEST_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "transfer/manifest/package_manifest.h"

namespace zarn {

// The most chunks a package may hold, in all its files together. A transfer builds some
// ten works per chunk (about 3 KiB) and a few per file before anything runs, so this bound
// and the document bounds keep any accepted package within 1 GiB (docs/architecture.md).
// It still allows 128 GiB in chunks of 1 MiB.
constexpr uint32_t kMaxPackageChunks = 131072;

// The most folders a package's paths may name in all. Each is made in the destination (a
// few KiB of disk and an inode), and paths of up to 2 047 folders each would otherwise let
// a manifest of a few MiB make millions.
constexpr std::size_t kMaxPackageFolders = 131072;

// The longest version a package may name. The version goes into every chunk's URL, every
// analytics post and every work-log line of a transfer; no real package's comes near.
constexpr std::size_t kMaxVersionIdLength = 256;

// The package manifest read from the "package" document: "id", "name", "partnerId",
// "versionId" (all required, non-empty; the version at most kMaxVersionIdLength bytes),
// the optional "run" path and the "files" list, in which no two files may have the same
// path once normalised (they would be one file on disk, written and verified twice) and
// all files hold at most kMaxPackageChunks chunks and their paths name at most
// kMaxPackageFolders folders. Made empty and filled once by Read.
class StandardPackageManifest : public PackageManifest {
 public:
  StandardPackageManifest() = default;
  StandardPackageManifest(const StandardPackageManifest&) = delete;
  StandardPackageManifest& operator=(const StandardPackageManifest&) = delete;

  // Throws ManifestParseException when the document is not a valid package.
  void Read(const boost::property_tree::ptree& tree) override;

  const std::string& GetId() const override { return id_; }
  const std::string& GetName() const override { return name_; }
  const std::string& GetPartnerId() const override { return partnerId_; }
  const std::string& GetVersionId() const override { return versionId_; }
  const FileManifestList& GetFiles() const override { return files_; }
  const FileManifestList& GetRunFiles() const override { return runFiles_; }
  const FileManifestList& GetOtherFiles() const override { return otherFiles_; }
  const std::string& GetRun() const override { return run_; }
  std::shared_ptr<FileManifest> GetRunFile() const override { return runFile_; }

 private:
  void ReadFields(const boost::property_tree::ptree& tree);

  std::string id_;
  std::string name_;
  std::string partnerId_;
  std::string versionId_;
  std::string run_;
  std::shared_ptr<FileManifest> runFile_;
  FileManifestList files_;
  FileManifestList runFiles_;
  FileManifestList otherFiles_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_STANDARD_PACKAGE_MANIFEST_H_
