#include "transfer/manifest/standard_package_manifest.h"

#include <boost/property_tree/ptree.hpp>
#include <string_view>
#include <unordered_set>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/manifest_path.h"
#include "transfer/manifest/standard_file_manifest.h"

namespace zarn {
namespace {

// Adds the folders a normalised path names to folders, the deepest first, up to the first
// one already there (those above it are then there too), so that each path costs its new
// folders and one look-up. Throws ManifestParseException past kMaxPackageFolders.
void AddFolders(std::string_view path, std::unordered_set<std::string_view>& folders) {
  for (std::size_t end = path.rfind('/'); end != std::string_view::npos && end > 0;
       end = path.rfind('/', end - 1)) {
    if (!folders.insert(path.substr(0, end)).second) return;
    if (folders.size() > kMaxPackageFolders) throw ManifestParseException();
  }
}

}  // namespace

uint64_t GetPackageTotalSize(const PackageManifest& package) {
  uint64_t total = 0;
  for (const auto& file : package.GetFiles()) total += file->GetSize();
  return total;
}

void StandardPackageManifest::Read(const boost::property_tree::ptree& tree) {
  try {
    ReadFields(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

void StandardPackageManifest::ReadFields(const boost::property_tree::ptree& tree) {
  const boost::property_tree::ptree& package = tree.get_child("package");
  id_ = package.get<std::string>("id");
  name_ = package.get<std::string>("name");
  partnerId_ = package.get<std::string>("partnerId");
  versionId_ = package.get<std::string>("versionId");
  run_ = package.get<std::string>("run", "");

  files_.clear();
  std::unordered_set<std::string_view> paths;    // views of the files' own paths
  std::unordered_set<std::string_view> folders;  // and of the folders above them
  uint32_t chunksLeft = kMaxPackageChunks;
  for (const auto& child : package.get_child("files")) {
    if (child.first != "file") throw ManifestParseException();
    files_.push_back(std::make_shared<StandardFileManifest>(child.second, chunksLeft));
    chunksLeft -= static_cast<uint32_t>(files_.back()->GetChecksums().size());
    if (!paths.insert(files_.back()->GetPath()).second) throw ManifestParseException();
    AddFolders(files_.back()->GetPath(), folders);
  }
  if (id_.empty() || name_.empty() || partnerId_.empty() || versionId_.empty() ||
      versionId_.size() > kMaxVersionIdLength) {
    throw ManifestParseException();
  }
  // File paths are kept normalised, so the run path is compared in the same form.
  if (!run_.empty()) run_ = NormalizeManifestPath(run_);

  runFile_.reset();
  runFiles_.clear();
  otherFiles_.clear();
  for (const auto& file : files_) {
    if (!run_.empty() && file->GetPath() == run_) {
      runFile_ = file;
      runFiles_.push_back(file);
    } else {
      otherFiles_.push_back(file);
    }
  }
  if (!run_.empty() && !runFile_) throw ManifestParseException();
}

}  // namespace zarn
