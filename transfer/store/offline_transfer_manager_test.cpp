#include "transfer/store/offline_transfer_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "testing/allocation/allocation_seam.h"
#include "transfer/testing/transfer_fakes.h"
#include "transfer/transfer.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_config.h"
#include "transfer/transfer_factory.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status.h"

namespace zarn {

namespace {

using fakes::CountingTransferFactory;

class OfflineTransferManagerTest : public ::testing::Test {
 protected:
  OfflineTransferManagerTest() : behavior_(config_), manager_(&factory_) {}

  TransferConfig config_;
  TransferBehavior behavior_;
  CountingTransferFactory factory_;
  OfflineTransferManager manager_;
};

bool IsTransferId(const std::string& id) {
  return id.size() == 32 && id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST_F(OfflineTransferManagerTest, GivesEachTransferAFreshIdAndFindsIt) {
  TransferParams params;
  params.transferId = "ignored";
  params.partnerId = "p";
  std::set<std::string> ids;
  for (int i = 0; i < 50; ++i) {
    std::shared_ptr<Transfer> transfer = manager_.CreateTransfer(params, behavior_);
    ASSERT_TRUE(transfer);
    const TransferParams& made = factory_.made.back()->params;
    EXPECT_TRUE(IsTransferId(made.transferId)) << made.transferId;
    EXPECT_EQ(made.partnerId, "p");
    EXPECT_TRUE(ids.insert(made.transferId).second) << made.transferId;
    EXPECT_EQ(manager_.GetTransfer(made.transferId, behavior_), transfer);
  }
  EXPECT_FALSE(manager_.GetTransfer("ignored", behavior_));
  EXPECT_FALSE(manager_.GetTransfer("", behavior_));
}

TEST_F(OfflineTransferManagerTest, NewTransferIdIsARandomUuidWithoutDashes) {
  std::set<std::string> ids;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = NewTransferId();
    ASSERT_TRUE(IsTransferId(id)) << id;
    EXPECT_EQ(id[12], '4') << id;                                          // version 4
    EXPECT_NE(std::string("89ab").find(id[16]), std::string::npos) << id;  // RFC 4122
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 1000u);
}

TEST_F(OfflineTransferManagerTest, ShutdownSuspendsEveryTransferAndClosesTheManager) {
  manager_.CreateTransfer(TransferParams(), behavior_);
  manager_.CreateTransfer(TransferParams(), behavior_);
  const std::string id = factory_.made[0]->params.transferId;
  manager_.Shutdown();
  for (const auto& transfer : factory_.made) EXPECT_EQ(transfer->suspends, 1);
  EXPECT_FALSE(manager_.CreateTransfer(TransferParams(), behavior_));
  EXPECT_FALSE(manager_.GetTransfer(id, behavior_));
  EXPECT_EQ(factory_.made.size(), 2u);
}

// Shutdown runs in destructors, where a failed allocation would end the process.
TEST_F(OfflineTransferManagerTest, ShutdownNeedsNoMemory) {
  for (int i = 0; i < 3; ++i) manager_.CreateTransfer(TransferParams(), behavior_);
  bool threw = false;
  {
    ScopedFailingAllocation failing;
    try {
      manager_.Shutdown();
    } catch (...) {
      threw = true;
    }
  }
  EXPECT_FALSE(threw);
  for (const auto& transfer : factory_.made) EXPECT_EQ(transfer->suspends, 1);
  EXPECT_FALSE(manager_.CreateTransfer(TransferParams(), behavior_));
}

}  // namespace
}  // namespace zarn
