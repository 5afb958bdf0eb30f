#include "transfer/works/open_and_allocate_file_work.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "storage/posix_shared_file_factory.h"
#include "storage/shared_file.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_single_file_work.h"

namespace zarn {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Existing files start runnable (0755): only a file sized here loses its execute bits,
// since a new file on this system is never runnable anyway.
TEST(OpenAndAllocateFileWorkTest, GivesTheFileItsSizeOnlyWhenItHasAnother) {
  const struct {
    const char* name;
    std::optional<std::string> before;  // none: the file does not exist
    std::string after;
    bool runnable;  // afterwards
  } cases[] = {
      {"sub/dir/new.exe", std::nullopt, std::string(8, '\0'), false},  // folders made too
      {"exact.exe", std::string("abcdefgh"), "abcdefgh", true},        // left as it is
      {"empty.exe", std::string(), std::string(8, '\0'), false},       // extended, denied
      {"short.exe", std::string("abc"), std::string(8, '\0'), false},  // deleted, made anew
      {"long.bin", std::string("abcdefghijk"), std::string(8, '\0'), false},
  };
  tree_test::TempFolder folder;
  tree_test::LocalRig rig;
  auto wi = rig.Make(folder.Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Path() + "/" + c.name;
    if (c.before) {
      std::ofstream(path, std::ios::binary) << *c.before;
      std::filesystem::permissions(path, std::filesystem::perms(0755));
    }
    auto file = TransferSharedFileData::Create(c.name, 8);
    auto work = OpenAndAllocateFileWork::Create(wi, file);
    ASSERT_EQ(work->Run().result, WorkResult::Success);
    ASSERT_NE(file->sharedFile, nullptr);
    EXPECT_EQ(file->sharedFile->Size(), 8u);
    file->sharedFile.reset();
    EXPECT_EQ(Read(path), c.after);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ((info.st_mode & 0111) != 0, c.runnable);
  }
}

// Opens files for real but refuses every delete, as when another process holds the file.
class UndeletableFileFactory : public PosixSharedFileFactory {
 public:
  bool Delete(const std::string&, const std::string&) override {
    ++deletes;
    return false;
  }
  int deletes = 0;
};

TEST(OpenAndAllocateFileWorkTest, AWrongSizedFileThatCannotBeDeletedIsARetryableFileError) {
  tree_test::TempFolder folder;
  std::ofstream(folder.Path() + "/held.bin", std::ios::binary) << "abc";
  UndeletableFileFactory files;
  const TransferConfig config(2);
  TransferBehavior behavior(config);
  behavior.sharedFileFactory = &files;
  TransferParams params;
  params.destPath = folder.Path();
  auto wi = std::make_shared<tree_test::TestTransferWorkInterface>(params, behavior);
  auto file = TransferSharedFileData::Create("held.bin", 8);

  const WorkStatus status = OpenAndAllocateFileWork::Create(wi, file)->Run();
  EXPECT_EQ(status.result, WorkResult::RetryableError);
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->ToTransferError(), TransferError::FileAccess);
  EXPECT_EQ(files.deletes, 1);
  EXPECT_EQ(file->sharedFile, nullptr);
  EXPECT_EQ(Read(folder.Path() + "/held.bin"), "abc");
}

TEST(OpenAndAllocateFileWorkTest, APathThatCannotBeCreatedIsAFileAccessError) {
  tree_test::TempFolder folder;
  tree_test::LocalRig rig;
  auto wi = rig.Make(folder.Path() + "/missing-destination");
  auto file = TransferSharedFileData::Create("f.bin", 8);
  const WorkStatus status = OpenAndAllocateFileWork::Create(wi, file)->Run();
  EXPECT_EQ(status.result, WorkResult::Error);
  const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->ToTransferError(), TransferError::FileAccess);
}

TEST(TransferSingleFileWorkTest, ReportsItsFileWhenDestroyedEvenIfNeverOpened) {
  tree_test::LocalRig rig;
  auto wi = rig.Make("");
  wi->Data().nodeList = tree_test::MakeNodeList({"h"});
  const auto package = tree_test::MakePackage("", {{"dir/x.bin", "abc", 2}});
  TransferSingleFileWork::Create(wi, nullptr, package->GetFiles().front()).reset();
  EXPECT_EQ(wi->Tracked(), std::set<std::string>{"dir/x.bin"});
}

}  // namespace
}  // namespace zarn
