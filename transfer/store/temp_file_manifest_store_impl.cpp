#include "transfer/store/temp_file_manifest_store_impl.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <sstream>

#include "storage/file_exception.h"
#include "storage/path_helpers.h"
#include "storage/private_folder.h"
#include "storage/shared_file.h"
#include "storage/shared_file_factory.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {

namespace {

constexpr uint32_t kReadBlock = 4096;
constexpr std::size_t kTransferIdLength = 32;

// The ids the managers make: 32 lowercase hexadecimal digits. Any other text could name a
// file outside the folder ("../x").
bool IsTransferId(const std::string& id) {
  return id.size() == kTransferIdLength &&
         id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

TempFileManifestStoreImpl::TempFileManifestStoreImpl(const std::string& folder,
                                                     SharedFileFactory* sharedFileFactory)
    : folder_(folder), sharedFileFactory_(sharedFileFactory) {}

void TempFileManifestStoreImpl::Read(const std::string& id, std::string& out) {
  try {
    std::shared_ptr<SharedFile> file = OpenForRead(id);
    char buffer[kReadBlock];
    std::size_t total = 0;
    uint32_t count = 0;
    do {
      count = file->Read(buffer, kReadBlock);
      total += count;
      if (total > kMaxRecordBytes) throw ManifestStreamException();
      out.append(buffer, count);
    } while (count == kReadBlock);
  } catch (...) {
    throw ManifestStreamException();
  }
}

void TempFileManifestStoreImpl::Write(std::istream& in, const std::string& id) {
  std::string text;
  std::shared_ptr<SharedFile> file;
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    complete = text.size() <= kMaxRecordBytes &&
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
  try {
    return sharedFileFactory_->Delete(GetTempFolder(), CheckedPath(id, false));
  } catch (...) {
    return false;
  }
}

std::shared_ptr<SharedFile> TempFileManifestStoreImpl::OpenForRead(const std::string& id) {
  return sharedFileFactory_->Create(GetTempFolder(), CheckedPath(id, false),
                                    SharedFileOpenMode::OpenExisting, 0,
                                    std::numeric_limits<uint64_t>::max());
}

std::shared_ptr<SharedFile> TempFileManifestStoreImpl::OpenForWrite(const std::string& id) {
  return sharedFileFactory_->Create(GetTempFolder(), CheckedPath(id, true),
                                    SharedFileOpenMode::CreateNew, 0,
                                    std::numeric_limits<uint64_t>::max());
}

std::string TempFileManifestStoreImpl::CheckedPath(const std::string& id,
                                                   bool create_folder) const {
  if (!IsTransferId(id)) throw FileBadPathException();
  OpenPrivateFolder(JoinPath(GetTempFolder(), folder_), create_folder);
  return JoinPath(folder_, GetFileName(id));
}

}  // namespace zarn
