#include "transfer/store/temp_file_transfer_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/path_helpers.h"
#include "storage/posix_shared_file_factory.h"
#include "transfer/store/json_temp_file_manifest_store.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/transfer.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_factory.h"
#include "transfer/transfer_manifest.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status.h"

namespace zarn {

namespace {

using fakes::CountingTransferFactory;

class TempFileTransferManagerTest : public ::testing::Test {
 protected:
  TempFileTransferManagerTest()
      : folder_("engine-managers-" + std::to_string(std::random_device()()) + "/transfers"),
        store_(folder_, &files_),
        behavior_(config_),
        manager_(&store_, &factory_) {}
  ~TempFileTransferManagerTest() override {
    std::filesystem::remove_all(std::filesystem::path(GetTempFolder()) /
                                std::filesystem::path(folder_).parent_path());
  }

  void Store(const std::string& fileId, const std::string& transferId) {
    TransferParams params;
    params.transferId = transferId;
    params.partnerId = "p";
    params.packageId = "k";
    params.versionId = "3";
    params.destPath = "/games";
    ASSERT_TRUE(store_.Save(fileId, TransferManifest(params)));
  }

  std::string folder_;
  PosixSharedFileFactory files_;
  JsonTempFileManifestStore store_;
  TransferConfig config_;
  TransferBehavior behavior_;
  CountingTransferFactory factory_;
  TempFileTransferManager manager_;
};

TEST_F(TempFileTransferManagerTest, BringsBackAStoredTransferOnce) {
  const std::string id = "00112233445566778899aabbccddeeff";
  Store(id, id);
  std::shared_ptr<Transfer> first = manager_.GetTransfer(id, behavior_);
  ASSERT_TRUE(first);
  ASSERT_EQ(factory_.made.size(), 1u);
  EXPECT_EQ(factory_.made[0]->params.transferId, id);
  EXPECT_EQ(factory_.made[0]->params.versionId, "3");
  EXPECT_EQ(factory_.made[0]->params.destPath, "/games");
  EXPECT_FALSE(factory_.made[0]->params.suspended);
  EXPECT_EQ(manager_.GetTransfer(id, behavior_), first);
  EXPECT_EQ(factory_.made.size(), 1u);
}

TEST_F(TempFileTransferManagerTest, RefusesMissingAndMismatchedRecords) {
  Store(std::string(32, 'a'), std::string(32, 'b'));
  EXPECT_FALSE(manager_.GetTransfer(std::string(32, 'a'), behavior_));
  EXPECT_FALSE(manager_.GetTransfer(std::string(32, 'c'), behavior_));
  EXPECT_TRUE(factory_.made.empty());
}

TEST_F(TempFileTransferManagerTest, RestoresNothingAfterShutdown) {
  Store(std::string(32, 'a'), std::string(32, 'a'));
  manager_.Shutdown();
  EXPECT_FALSE(manager_.GetTransfer(std::string(32, 'a'), behavior_));
  EXPECT_TRUE(factory_.made.empty());
}

}  // namespace
}  // namespace zarn
