#ifndef ZARN_STORAGE_ID_MAP_H_
#define ZARN_STORAGE_ID_MAP_H_

#include <istream>
#include <optional>
#include <vector>

namespace zarn {

// The ids a user namespace maps, as /proc/self/uid_map and gid_map list them: ranges from
// the namespace's own ids (inside) to those of its parent namespace (outside), which is
// the first namespace only when there is no nesting. What the namespace shows of root is
// therefore not read from the outside column.
class IdMap {
 public:
  // The map listed in `path`; nullopt when it cannot be read (no /proc).
  static std::optional<IdMap> Read(const char* path);
  // The map listed in `text`; nullopt when it is not such a list.
  static std::optional<IdMap> Parse(std::istream& text);

  // Whether it maps every id to itself, as the first namespace does ("0 0 4294967295").
  bool IsWhole() const;
  // Whether some id outside shows as `id` inside.
  bool Shows(unsigned long id) const;
  // Whether `id` inside stands for the same id in the parent namespace.
  bool MapsToItself(unsigned long id) const;

 private:
  struct Range {
    unsigned long inside;
    unsigned long outside;
    unsigned long count;
  };

  explicit IdMap(std::vector<Range> ranges) : ranges_(std::move(ranges)) {}

  // The range holding the inside id `id`, nullptr when none does.
  const Range* Holding(unsigned long id) const;

  std::vector<Range> ranges_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_ID_MAP_H_
