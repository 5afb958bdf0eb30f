#include "storage/id_map.h"

#include <fstream>
#include <utility>

namespace zarn {

std::optional<IdMap> IdMap::Read(const char* path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  return Parse(file);
}

std::optional<IdMap> IdMap::Parse(std::istream& text) {
  std::vector<Range> ranges;
  Range range{};
  while (text >> range.inside >> range.outside >> range.count) ranges.push_back(range);
  if (!text.eof()) return std::nullopt;
  return IdMap(std::move(ranges));
}

bool IdMap::IsWhole() const {
  return ranges_.size() == 1 && ranges_[0].inside == 0 && ranges_[0].outside == 0 &&
         ranges_[0].count == 4294967295ul;
}

bool IdMap::Shows(unsigned long id) const { return Holding(id) != nullptr; }

bool IdMap::MapsToItself(unsigned long id) const {
  const Range* range = Holding(id);
  return range != nullptr && range->inside == range->outside;
}

const IdMap::Range* IdMap::Holding(unsigned long id) const {
  for (const Range& range : ranges_) {
    if (id >= range.inside && id - range.inside < range.count) return &range;
  }
  return nullptr;
}

}  // namespace zarn
