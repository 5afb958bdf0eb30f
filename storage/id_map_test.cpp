#include "storage/id_map.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarn {
namespace {

std::optional<IdMap> Parsed(const std::string& text) {
  std::istringstream stream(text);
  return IdMap::Parse(stream);
}

TEST(IdMapTest, ReadsWhatTheNamespaceShows) {
  const std::optional<IdMap> first = Parsed("         0          0 4294967295\n");
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->IsWhole());
  EXPECT_TRUE(first->Shows(0));
  EXPECT_TRUE(first->MapsToItself(65534));

  // Nested below a namespace that maps the user to 0: the 0 is the user, not root.
  const std::optional<IdMap> nested = Parsed("      4242          0          1\n");
  ASSERT_TRUE(nested);
  EXPECT_FALSE(nested->IsWhole());
  EXPECT_TRUE(nested->Shows(4242));
  EXPECT_FALSE(nested->Shows(0));
  EXPECT_FALSE(nested->MapsToItself(4242));

  const std::optional<IdMap> ranges = Parsed("0 100000 65536\n65536 4242 1\n");
  ASSERT_TRUE(ranges);
  EXPECT_TRUE(ranges->Shows(65534));
  EXPECT_TRUE(ranges->Shows(65536));
  EXPECT_FALSE(ranges->Shows(65537));
  EXPECT_FALSE(ranges->MapsToItself(0));

  const std::optional<IdMap> none = Parsed("");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->Shows(0));
  EXPECT_FALSE(none->IsWhole());

  EXPECT_FALSE(Parsed("0 0 x\n"));
}

}  // namespace
}  // namespace zarn
