#include "storage/crc32.h"

#include <gtest/gtest.h>

#include <boost/crc.hpp>
#include <string>

namespace zarn {
namespace {

uint32_t BoostCrc32(const std::string& data) {
  boost::crc_32_type crc;
  crc.process_bytes(data.data(), data.size());
  return crc.checksum();
}

TEST(Crc32Test, MatchesTheReferenceValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);  // the check value of CRC-32
  EXPECT_EQ(Crc32("", 0), 0u);
  std::string data(100000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + 7);
  EXPECT_EQ(Crc32(data.data(), data.size()), BoostCrc32(data));
}

TEST(Crc32Test, ContinuesFromAnEarlierValue) {
  const std::string data = "The quick brown fox jumps over the lazy dog";
  const uint32_t head = Crc32(data.data(), 10);
  EXPECT_EQ(Crc32(data.data() + 10, data.size() - 10, head), Crc32(data.data(), data.size()));
}

}  // namespace
}  // namespace zarn
