#include "transfer/works/close_file_work.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "storage/shared_file.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/open_and_allocate_file_work.h"
#include "transfer/works/transfer_shared_file_data.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

// What another process does to the file between its opening and its close.
TEST(CloseFileWorkTest, ClosesOnlyTheFileItOpenedAtItsSize) {
  const struct {
    const char* name;
    void (*change)(const std::string& path);
    bool closes;
  } cases[] = {
      {"untouched", [](const std::string&) {}, true},
      {"deleted", [](const std::string& path) { fs::remove(path); }, false},
      {"renamed over",
       [](const std::string& path) {
         std::ofstream(path + ".other", std::ios::binary) << std::string(8, 'x');
         fs::rename(path + ".other", path);
       },
       false},
      {"grown by a byte", [](const std::string& path) { fs::resize_file(path, 9); }, false},
      {"truncated", [](const std::string& path) { fs::resize_file(path, 4); }, false},
  };
  tree_test::TempFolder folder;
  tree_test::LocalRig rig;
  auto wi = rig.Make(folder.Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.name) + ".bin";
    auto file = TransferSharedFileData::Create(name, 8);
    ASSERT_EQ(OpenAndAllocateFileWork::Create(wi, file)->Run().result, WorkResult::Success);
    const std::shared_ptr<SharedFile> opened = file->sharedFile;
    c.change(folder.Path() + "/" + name);
    const auto close = CloseFileWork::Create(wi, file);

    const WorkStatus status = close->Run();
    if (c.closes) {
      EXPECT_EQ(status.result, WorkResult::Success);
      EXPECT_EQ(file->sharedFile, nullptr);
      continue;
    }
    EXPECT_EQ(status.result, WorkResult::RetryableError);
    const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(payload->ToTransferError(), TransferError::FileAccess);
    // Kept open: a retry looks at the same file again, and fails again.
    EXPECT_EQ(file->sharedFile, opened);
    close->Reset();
    EXPECT_EQ(close->Run().result, WorkResult::RetryableError);
  }
}

}  // namespace
}  // namespace zarn
