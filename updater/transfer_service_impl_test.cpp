#include "updater/transfer_service_impl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "storage/test_folder.h"
#include "transfer/transfer_config.h"

namespace zarn {
namespace {

TEST(TransferServiceImplTest, UnknownIdsAreNoTransferWithoutAnError) {
  TestFolder folder;
  setenv("TMPDIR", folder.path().c_str(), 1);
  {
    TransferConfig config(1);
    config.manifestHost = "127.0.0.1:9";
    TransferServiceImpl service(config);
    for (const TransferStatus& status :
         {service.GetStatus("0123456789abcdef0123456789abcdef"),
          service.StartTransfer("0123456789abcdef0123456789abcdef", folder / "dest")}) {
      EXPECT_EQ(status.transferId, "0123456789abcdef0123456789abcdef");
      EXPECT_EQ(status.state, TransferState::None);
      EXPECT_EQ(status.error, TransferError::None);
    }
  }
  unsetenv("TMPDIR");
}

}  // namespace
}  // namespace zarn
