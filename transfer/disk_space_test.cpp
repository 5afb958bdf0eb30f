#include "transfer/disk_space.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace zarn {
namespace {

TEST(DiskSpaceTest, MissingOrEmptyPathsGiveZero) {
  EXPECT_EQ(GetFreeSpace(""), 0u);
  EXPECT_EQ(GetFreeSpace("/no/such/volume/anywhere"), 0u);
  EXPECT_EQ(GetFileSizeOnDisk(""), 0u);
  EXPECT_EQ(GetFileSizeOnDisk("/no/such/file"), 0u);
}

TEST(DiskSpaceTest, ReportsAvailableSpaceAndFileSize) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  EXPECT_GT(GetFreeSpace(folder.string()), 0u);

  const std::filesystem::path file =
      folder / ("disk_space_test_" + std::to_string(::getpid()) + ".bin");
  { std::ofstream(file) << std::string(1234, 'x'); }
  EXPECT_EQ(GetFileSizeOnDisk(file.string()), 1234u);
  EXPECT_EQ(GetFileSizeOnDisk(folder.string()), 0u);  // a folder is not a file
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace zarn
