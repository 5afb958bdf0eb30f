#include "transfer/works/transfer_multiple_chunks_work.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transfer/manifest/file_manifest.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "transfer/works/transfer_single_chunk_work.h"

namespace zarn {
namespace {

class SizedFileManifest : public FileManifest {
 public:
  SizedFileManifest(uint64_t size, uint32_t chunkSize) : size_(size), chunkSize_(chunkSize) {
    for (uint32_t i = 0; i < GetChunkCount(chunkSize, size); ++i) checksums_.push_back(i * 7);
  }
  void Read(const boost::property_tree::ptree&) override {}
  const std::string& GetPath() const override { return path_; }
  uint32_t GetChunkSize() const override { return chunkSize_; }
  uint64_t GetSize() const override { return size_; }
  const std::vector<uint32_t>& GetChecksums() const override { return checksums_; }

 private:
  std::string path_ = "f";
  uint64_t size_;
  uint32_t chunkSize_;
  std::vector<uint32_t> checksums_;
};

struct Range {
  uint64_t lower, upper;
  uint32_t checksum;
  bool operator==(const Range& o) const {
    return lower == o.lower && upper == o.upper && checksum == o.checksum;
  }
};

std::vector<Range> Cut(uint64_t size, uint32_t chunkSize) {
  tree_test::LocalRig rig;
  auto wi = rig.Make("");
  wi->Data().nodeList = tree_test::MakeNodeList({"h"});
  auto manifest = std::make_shared<SizedFileManifest>(size, chunkSize);
  auto work = TransferMultipleChunksWork::Create(wi, nullptr, manifest,
                                                 TransferSharedFileData::Create("f", size));
  std::vector<Range> ranges;
  for (const auto& chunk : work->GetChunks()) {
    const auto& map = chunk->GetMapData();
    ranges.push_back({map->lowerBound, map->upperBound, map->expectedChecksum});
  }
  return ranges;
}

TEST(TransferMultipleChunksWorkTest, CutsTheFileIntoInclusiveRanges) {
  EXPECT_EQ(Cut(10, 4), (std::vector<Range>{{0, 3, 0}, {4, 7, 7}, {8, 9, 14}}));
  EXPECT_EQ(Cut(8, 4), (std::vector<Range>{{0, 3, 0}, {4, 7, 7}}));
  EXPECT_EQ(Cut(1, 4), (std::vector<Range>{{0, 0, 0}}));
}

TEST(TransferMultipleChunksWorkTest, OffsetsAreComputedIn64Bits) {
  const std::vector<Range> ranges = Cut(5ull << 30, 1u << 20);
  ASSERT_EQ(ranges.size(), 5120u);
  EXPECT_EQ(ranges[4096].lower, 1ull << 32);
  EXPECT_EQ(ranges[4096].upper, (1ull << 32) + (1u << 20) - 1);
  EXPECT_EQ(ranges.back().upper, (5ull << 30) - 1);
}

}  // namespace
}  // namespace zarn
