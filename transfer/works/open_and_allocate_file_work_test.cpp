#include "transfer/works/open_and_allocate_file_work.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "storage/shared_file.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_single_file_work.h"
#include "transfer/works/transfer_tree_fixture.h"

namespace zarn {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OpenAndAllocateFileWorkTest, GivesTheFileItsSizeOnlyWhenItHasAnother) {
  const struct {
    const char* name;
    std::optional<std::string> before;  // none: the file does not exist
    std::string after;
  } cases[] = {
      {"sub/dir/new.exe", std::nullopt, std::string(8, '\0')},  // folders made too
      {"exact.exe", std::string("abcdefgh"), "abcdefgh"},       // left as it is
      {"empty.exe", std::string(), std::string(8, '\0')},       // extended
      {"short.bin", std::string("abc"), std::string(8, '\0')},  // deleted and made anew
      {"long.bin", std::string("abcdefghijk"), std::string(8, '\0')},
  };
  tree_test::TempFolder folder;
  tree_test::LocalRig rig;
  auto wi = rig.Make(folder.Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Path() + "/" + c.name;
    if (c.before) {
      std::ofstream(path, std::ios::binary) << *c.before;
      std::filesystem::permissions(path, std::filesystem::perms(0644));
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
    EXPECT_EQ(info.st_mode & 0111, 0u);  // never runnable while downloading
  }
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
