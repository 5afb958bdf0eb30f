#ifndef ZARN_TRANSFER_STORE_MANIFEST_STORE_H_
#define ZARN_TRANSFER_STORE_MANIFEST_STORE_H_

#include <string>

namespace zarn {

// Keeps records of type Record under string ids. Load and Save never throw: a failure gives
// false and the cause is dropped.
template <class Record>
class ManifestStore {
 public:
  virtual ~ManifestStore() = default;
  // Fills `record` from the stored copy; on failure `record` keeps what was read so far.
  virtual bool Load(const std::string& id, Record& record) = 0;
  // Stores `record`; fails (and leaves the stored copy as it is) when one exists already.
  virtual bool Save(const std::string& id, const Record& record) = 0;
  virtual bool Remove(const std::string& id) = 0;

 protected:
  ManifestStore() = default;
  ManifestStore(const ManifestStore&) = delete;
  ManifestStore& operator=(const ManifestStore&) = delete;
};

// A store whose records live in files below the system temporary folder.
template <class Record>
class TempFileManifestStore : public ManifestStore<Record> {};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_MANIFEST_STORE_H_
