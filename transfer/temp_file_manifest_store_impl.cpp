#include "transfer/temp_file_manifest_store_impl.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <sstream>

#include "storage/path_helpers.h"
#include "storage/private_folder.h"
#include "storage/shared_file.h"
#include "storage/shared_file_factory.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {

namespace {

constexpr uint32_t kReadBlock = 4096;

}  // namespace

TempFileManifestStoreImpl::TempFileManifestStoreImpl(const std::string& folder,
                                                     SharedFileFactory* sharedFileFactory)
    : folder_(folder), sharedFileFactory_(sharedFileFactory) {}

void TempFileManifestStoreImpl::Read(const std::string& id, std::ostream& out) {
  try {
    std::shared_ptr<SharedFile> file = OpenForRead(id);
    char buffer[kReadBlock];
    uint32_t count = 0;
    do {
      count = file->Read(buffer, kReadBlock);
      out.write(buffer, count);
    } while (count == kReadBlock);
  } catch (...) {
    throw ManifestStreamException();
  }
  if (out.fail()) throw ManifestStreamException();
}

void TempFileManifestStoreImpl::Write(std::istream& in, const std::string& id) {
  std::string text;
  std::shared_ptr<SharedFile> file;
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    CreatePrivateFolder(JoinPath(GetTempFolder(), folder_));
    file = OpenForWrite(id);
  } catch (...) {
    throw ManifestStreamException();
  }
  if (in.bad()) {
    file.reset();
    RemoveFile(id);
    throw ManifestStreamException();
  }
  bool complete = false;
  try {
    complete = text.size() <= std::numeric_limits<uint32_t>::max() &&
               file->Write(text.data(), static_cast<uint32_t>(text.size())) == text.size();
  } catch (...) {
    complete = false;
  }
  file.reset();
  if (!complete) {
    RemoveFile(id);
    throw ManifestStreamException();
  }
}

bool TempFileManifestStoreImpl::RemoveFile(const std::string& id) {
  return sharedFileFactory_->Delete(GetTempFolder(), RelativePath(id));
}

std::shared_ptr<SharedFile> TempFileManifestStoreImpl::OpenForRead(const std::string& id) {
  return sharedFileFactory_->Create(GetTempFolder(), RelativePath(id),
                                    SharedFileOpenMode::OpenExisting, 0,
                                    std::numeric_limits<uint64_t>::max());
}

std::shared_ptr<SharedFile> TempFileManifestStoreImpl::OpenForWrite(const std::string& id) {
  return sharedFileFactory_->Create(GetTempFolder(), RelativePath(id),
                                    SharedFileOpenMode::CreateNew, 0,
                                    std::numeric_limits<uint64_t>::max());
}

std::string TempFileManifestStoreImpl::RelativePath(const std::string& id) const {
  return JoinPath(folder_, GetFileName(id));
}

}  // namespace zarn
