#include "transfer/manifest/file_manifest.h"

#include <gtest/gtest.h>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

TEST(FileManifestTest, GetChunkCount) {
  struct Case {
    uint32_t chunkSize;
    uint64_t size;
    uint32_t count;
  };
  const Case cases[] = {
      {0, 100, 0},
      {4, 0, 0},
      {4, 1, 1},
      {4, 4, 1},
      {4, 5, 2},
      {1048576, 1048577, 2},
      {1, 4294967295u, 4294967295u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetChunkCount(c.chunkSize, c.size), c.count) << c.chunkSize << "/" << c.size;
  }
  // Past 32 bits of chunks, and a size whose rounding up would pass 64 bits.
  EXPECT_THROW(GetChunkCount(1, 1ull << 40), ManifestOverflowException);
  EXPECT_THROW(GetChunkCount(1, 4294967296u), ManifestOverflowException);
  EXPECT_THROW(GetChunkCount(2, 18446744073709551615u), ManifestOverflowException);
}

TEST(FileManifestTest, HexadecimalText) {
  const std::pair<const char*, uint32_t> parsed[] = {
      {"0000001g", 1},          {"FFFFFFFF", 4294967295u}, {"ffffffff", 4294967295u},
      {"cbf43926", 0xcbf43926}, {"  00000ab", 0xab},       {"00000000", 0},
  };
  for (const auto& p : parsed) EXPECT_EQ(ParseHex(p.first), p.second) << p.first;

  const std::pair<uint32_t, const char*> formatted[] = {
      {0, "0"}, {255, "ff"}, {4096, "1000"}, {4294967295u, "ffffffff"}, {0xABCDEF, "abcdef"},
  };
  for (const auto& f : formatted) EXPECT_EQ(FormatHex(f.first), f.second) << f.first;
}

}  // namespace
}  // namespace zarn
