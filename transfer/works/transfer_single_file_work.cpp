#include "transfer/works/transfer_single_file_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "storage/shared_file.h"
#include "transfer/manifest/file_manifest.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/close_file_work.h"
#include "transfer/works/open_and_allocate_file_work.h"
#include "transfer/works/transfer_multiple_chunks_work.h"
#include "transfer/works/transfer_shared_file_data.h"

namespace zarn {

std::shared_ptr<TransferSingleFileWork> TransferSingleFileWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    const std::shared_ptr<FileManifest>& manifest) {
  return std::make_shared<TransferSingleFileWork>(Token(), std::move(workInterface),
                                                  std::move(session), manifest);
}

TransferSingleFileWork::TransferSingleFileWork(Token,
                                               std::shared_ptr<TransferWorkInterface> workInterface,
                                               std::shared_ptr<HttpSession> session,
                                               const std::shared_ptr<FileManifest>& manifest)
    : TransferWork(std::move(workInterface)),
      file_(TransferSharedFileData::Create(manifest->GetPath(), manifest->GetSize())) {
  RegisterCompleteObservers(*this, nullptr);
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  AddChild(OpenAndAllocateFileWork::Create(wi, file_));
  chunks_ = TransferMultipleChunksWork::Create(wi, std::move(session), manifest, file_);
  AddChild(chunks_);
  AddChild(CloseFileWork::Create(wi, file_));
}

TransferSingleFileWork::~TransferSingleFileWork() {
  try {
    chunks_->ReleaseChunkMaps();
    file_->sharedFile.reset();
    GetWorkInterface()->TrackFile(file_->filePath);
  } catch (...) {
  }
}

void TransferSingleFileWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "TransferSingleFileWork", true, ParamsAccess::kInPlace);
  file_->Describe(tree);
}

void TransferSingleFileWork::Reset() {
  SequentialWork::Reset();
  file_->sharedFile.reset();
}

}  // namespace zarn
