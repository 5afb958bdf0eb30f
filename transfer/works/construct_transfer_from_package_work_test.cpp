// The works that need the package or the node list end with an Internal error payload
// when they find none, instead of failing on a missing record.

#include "transfer/works/construct_transfer_from_package_work.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <stdexcept>
#include <string>

#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer_status_data.h"
#include "transfer/works/allow_execute_work.h"
#include "transfer/works/get_node_list_work.h"
#include "transfer/works/parallel_transfer_multiple_files_work.h"
#include "transfer/works/sequential_transfer_multiple_files_work.h"
#include "work/deferred_work.h"

namespace zarn {
namespace {

TransferError ErrorOf(const WorkStatus& status) {
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
  return payload ? payload->ToTransferError() : TransferError::None;
}

class ConstructTransferFromPackageWorkTest : public ::testing::Test {
 protected:
  WorkStatus Construct() {
    return ConstructTransferFromPackageWork::Create(wi_, nullptr, deferred_)->Run();
  }

  tree_test::LocalRig rig_;
  std::shared_ptr<tree_test::TestTransferWorkInterface> wi_ = rig_.Make("");
  std::shared_ptr<DeferredWork> deferred_ = DeferredWork::Create();
};

TEST_F(ConstructTransferFromPackageWorkTest, MissingRecordsEndWithInternalError) {
  const auto package = tree_test::MakePackage("", {{"a.bin", "abcdef", 4}});
  const struct {
    const char* name;
    bool package, nodeList;
  } cases[] = {{"neither", false, false}, {"no package", false, true}, {"no nodes", true, false}};
  for (const auto& c : cases) {
    wi_->Data().package = c.package ? package : nullptr;
    wi_->Data().nodeList = c.nodeList ? tree_test::MakeNodeList({"h"}) : nullptr;
    const WorkStatus status = Construct();
    EXPECT_EQ(status.result, WorkResult::Error) << c.name;
    EXPECT_EQ(ErrorOf(status), TransferError::Internal) << c.name;
  }
  wi_->Data().package = package;
  wi_->Data().nodeList = tree_test::MakeNodeList({"h"});
  EXPECT_EQ(Construct().result, WorkResult::Success);
  const WorkStatus again = Construct();
  EXPECT_EQ(again.result, WorkResult::Error);
  EXPECT_EQ(again.data->ToString(),
            "error|9|ConstructTransferFromPackageWork::ExecuteTask failed; DeferredWork already "
            "assigned");
}

TEST_F(ConstructTransferFromPackageWorkTest, EmptyFileSetsAreRefused) {
  wi_->Data().package = tree_test::MakePackage("", {});
  wi_->Data().nodeList = tree_test::MakeNodeList({"h"});
  const WorkStatus status = Construct();
  EXPECT_EQ(ErrorOf(status), TransferError::Internal);
  boost::property_tree::ptree tree;
  status.data->Describe(tree);
  EXPECT_EQ(tree.get<std::string>("what"),
            "TransferMultipleFilesWork constructed with empty file set");

  const std::vector<std::shared_ptr<FileManifest>> none;
  EXPECT_THROW(SequentialTransferMultipleFilesWork::Create(wi_, nullptr, none), std::logic_error);
  EXPECT_THROW(ParallelTransferMultipleFilesWork::Create(wi_, nullptr, none), std::logic_error);
}

TEST_F(ConstructTransferFromPackageWorkTest, AllowExecuteWithoutPackageIsAnInternalError) {
  const WorkStatus status = AllowExecuteWork::Create(wi_)->Run();
  EXPECT_EQ(status.result, WorkResult::Error);
  EXPECT_EQ(status.data->ToString(), "error|9|AllowExecuteWork::ExecuteTask has no package");
}

TEST(TransferWorkDescribeTest, ManifestWorkDescribesItsNameImportanceAndParams) {
  tree_test::LocalRig rig;
  auto wi = rig.Make("/dest");
  wi->Data().params.partnerId = "p";
  boost::property_tree::ptree tree;
  GetNodeListWork::Create(wi, nullptr, 4)->Describe(tree);
  std::vector<std::string> keys;
  for (const auto& child : tree) keys.push_back(child.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"name", "important", "transferId", "partnerId",
                                            "packageId", "versionId", "destPath"}));
  EXPECT_EQ(tree.get<std::string>("name"), "GetNodeListWork");
  EXPECT_TRUE(tree.get<bool>("important"));
  EXPECT_EQ(tree.get<std::string>("partnerId"), "p");
  EXPECT_EQ(tree.get<std::string>("destPath"), "/dest");
}

}  // namespace
}  // namespace zarn
