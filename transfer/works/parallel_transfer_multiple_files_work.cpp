#include "transfer/works/parallel_transfer_multiple_files_work.h"

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <utility>

#include "transfer/works/transfer_single_file_work.h"

namespace zarn {

std::shared_ptr<ParallelTransferMultipleFilesWork> ParallelTransferMultipleFilesWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    const std::vector<std::shared_ptr<FileManifest>>& files) {
  return std::make_shared<ParallelTransferMultipleFilesWork>(Token(), std::move(workInterface),
                                                             std::move(session), files);
}

ParallelTransferMultipleFilesWork::ParallelTransferMultipleFilesWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, const std::vector<std::shared_ptr<FileManifest>>& files)
    : TransferWork(std::move(workInterface)) {
  RegisterCompleteObservers(*this, nullptr);
  if (files.empty())
    throw std::logic_error("ParallelTransferMultipleFilesWork constructed with empty cluster");
  for (const auto& file : files) {
    AddChild(TransferSingleFileWork::Create(GetWorkInterface(), session, file));
  }
}

void ParallelTransferMultipleFilesWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "ParallelTransferMultipleFilesWork", true, ParamsAccess::kInPlace);
}

}  // namespace zarn
