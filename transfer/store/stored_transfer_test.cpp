#include "transfer/store/stored_transfer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "storage/path_helpers.h"
#include "storage/posix_shared_file_factory.h"
#include "transfer/store/json_temp_file_manifest_store.h"
#include "transfer/store/stored_transfer_factory.h"
#include "transfer/store/temp_file_transfer_manager.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status_impl.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/node_list_status_data.h"
#include "transfer/works/package_status_data.h"
#include "work/work_status.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

// Stored transfers made by the manager through the stored-transfer factory, over scripted
// workflows; the store is the real one, in a private temporary folder.
class StoredTransferTest : public ::testing::Test {
 protected:
  StoredTransferTest()
      : folder_("engine-stored-" + std::to_string(std::random_device()()) + "/transfers"),
        store_(folder_, &files_),
        factory_(&store_, &workflows_),
        manager_(&store_, &factory_),
        behavior_(config_) {
    behavior_.sharedFileFactory = &files_;
    behavior_.transferManager = &manager_;
    behavior_.analyticsManager = &analytics_;
    behavior_.logManager = &log_;
  }
  ~StoredTransferTest() override {
    fs::remove_all(fs::path(GetTempFolder()) / fs::path(folder_).parent_path());
  }

  std::shared_ptr<Transfer> Create() {
    TransferParams params;
    params.partnerId = "p";
    params.packageId = "k";
    std::shared_ptr<Transfer> transfer = manager_.CreateTransfer(params, behavior_);
    transfer->Initialize();
    return transfer;
  }
  void Initialized(Transfer& transfer) {
    auto data = transfer.GetData();
    auto package = std::make_shared<fakes::FakePackage>(
        "p", "k", "7", FileManifestList{std::make_shared<fakes::FakeFile>("a.bin", 10)});
    data->GetPackageAcquireCallback()->OnWorkComplete(
        nullptr, WorkStatus(WorkResult::Success, PackageStatusData::Create(package)));
    data->GetNodeListAcquireCallback()->OnWorkComplete(
        nullptr, WorkStatus(WorkResult::Success,
                            NodeListStatusData::Create(
                                std::make_shared<fakes::FakeNodeList>(NodeManifestList{}))));
    data->GetInitializeCallback()->OnWorkComplete(nullptr, WorkStatus(WorkResult::Success));
  }
  void Complete(Transfer& transfer) {
    auto data = transfer.GetData();
    auto updater = data->GetProgressUpdater();
    updater->AddCompleted(10);
    updater->AddVerified(10);
    data->GetWorkCompleteCallback()->OnWorkComplete(nullptr, WorkStatus(WorkResult::Success));
  }
  fs::path FilePath(const std::string& id) const {
    return fs::path(GetTempFolder()) / folder_ / (id + ".json");
  }
  std::string FileText(const std::string& id) const {
    std::ifstream in(FilePath(id), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string folder_;
  PosixSharedFileFactory files_;
  JsonTempFileManifestStore store_;
  fakes::ScriptedWorkflowFactory workflows_;
  StoredTransferFactory factory_;
  TempFileTransferManager manager_;
  TransferConfig config_;
  fakes::RecordingAnalytics analytics_;
  fakes::RecordingLog log_;
  TransferBehavior behavior_;
};

TEST_F(StoredTransferTest, StartStoresTheIdentityAndCancelRemovesIt) {
  std::shared_ptr<Transfer> transfer = Create();
  const std::string id = transfer->GetStatus().transferId;
  EXPECT_FALSE(transfer->Start("/games").state == TransferState::Transferring);
  EXPECT_FALSE(fs::exists(FilePath(id)));  // a refused start stores nothing

  Initialized(*transfer);
  ASSERT_EQ(transfer->Start("/games").state, TransferState::Transferring);
  EXPECT_EQ(FileText(id), "{\"transferId\":\"" + id +
                              "\",\"partnerId\":\"p\",\"packageId\":\"k\",\"versionId\":\"7\","
                              "\"destPath\":\"\\/games\"}\n");
  // Not in memory any more (a new manager): brought back from its file.
  TempFileTransferManager other(&store_, &factory_);
  std::shared_ptr<Transfer> restored = other.GetTransfer(id, behavior_);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->GetStatus().destPath, "/games");
  EXPECT_EQ(restored->GetStatus().state, TransferState::Initializing);

  EXPECT_EQ(transfer->Cancel(false).state, TransferState::Canceled);
  EXPECT_FALSE(fs::exists(FilePath(id)));
}

TEST_F(StoredTransferTest, CompletedTransferKeepsItsFileUntilCancelled) {
  std::shared_ptr<Transfer> transfer = Create();
  const std::string id = transfer->GetStatus().transferId;
  Initialized(*transfer);
  transfer->Start("/games");
  Complete(*transfer);
  ASSERT_EQ(transfer->GetStatus().state, TransferState::Completed);
  EXPECT_TRUE(fs::exists(FilePath(id)));
  EXPECT_EQ(transfer->Cancel(false).state, TransferState::Completed);
  EXPECT_FALSE(fs::exists(FilePath(id)));
}

// Tells when a cancel has to wait for a start that is still storing the identity.
class WaitReportingTransfer : public StoredTransfer {
 public:
  using StoredTransfer::StoredTransfer;
  std::function<void()> onWait;

 protected:
  void OnWaitForStore() override { onWait(); }
};

// The start is saved after its event is sent. A cancel from another thread in that gap
// must still leave no file behind for a transfer that no longer runs. The start goes on
// only once the cancel has finished or is waiting for the start's save.
TEST_F(StoredTransferTest, CancelWhileTheStartEventIsSentLeavesNoFile) {
  TransferParams params;
  params.transferId = "0123456789abcdef0123456789abcdef";
  params.partnerId = "p";
  params.packageId = "k";
  auto transfer = std::make_shared<WaitReportingTransfer>(params, behavior_, &workflows_, &store_);
  transfer->Initialize();
  Initialized(*transfer);
  // Set once the cancel has returned or is waiting for the start.
  std::promise<void> cancelStopped;
  std::once_flag once;
  auto stopped = [&] { std::call_once(once, [&] { cancelStopped.set_value(); }); };
  transfer->onWait = stopped;
  const std::thread::id starter = std::this_thread::get_id();
  std::future<TransferStatus> cancel;
  analytics_.onPost = [&] {
    if (std::this_thread::get_id() != starter || cancel.valid()) return;
    cancel = std::async(std::launch::async, [&] {
      const TransferStatus status = transfer->Cancel(false);
      stopped();
      return status;
    });
    ASSERT_EQ(cancelStopped.get_future().wait_for(std::chrono::seconds(30)),
              std::future_status::ready);
  };
  EXPECT_EQ(transfer->Start("/games").state, TransferState::Transferring);
  ASSERT_TRUE(cancel.valid());
  EXPECT_EQ(cancel.get().state, TransferState::Canceled);
  EXPECT_FALSE(fs::exists(FilePath(params.transferId)));
}

TEST_F(StoredTransferTest, ShutdownSuspendsEveryTransferAndKeepsTheirFiles) {
  std::shared_ptr<Transfer> running = Create();
  Initialized(*running);
  running->Start("/games");
  std::shared_ptr<Transfer> initializing = Create();
  const std::string id = running->GetStatus().transferId;

  manager_.Shutdown();
  EXPECT_EQ(running->GetStatus().state, TransferState::Suspended);
  EXPECT_EQ(initializing->GetStatus().state, TransferState::Canceled);
  EXPECT_TRUE(fs::exists(FilePath(id)));
  // A suspended transfer keeps its file through a cancel as well.
  EXPECT_EQ(running->Cancel(true).state, TransferState::Suspended);
  EXPECT_TRUE(fs::exists(FilePath(id)));
  EXPECT_FALSE(manager_.CreateTransfer(TransferParams(), behavior_));
}

}  // namespace
}  // namespace zarn
