#ifndef ZARN_TRANSFER_WORKS_TRANSFER_SHARED_MAP_DATA_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_SHARED_MAP_DATA_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "work/work_descriptor.h"

namespace zarn {

class MemoryMappedFileData;
class NodeManifest;
class TransferProgressUpdater;
class TransferSharedFileData;

// One chunk of a file, shared by the chunk's works and the body writer of its request:
// its inclusive byte range, expected CRC-32, mapped view, and the bytes it has counted in
// the transfer's completed counter (so that a discarded download can be taken back out).
// Only the one running work of the chunk touches it.
class TransferSharedMapData : public WorkDescriptor {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferSharedMapData> Create(
      std::shared_ptr<TransferSharedFileData> fileData, const uint64_t& lower,
      const uint64_t& upper, uint32_t expectedChecksum,
      std::shared_ptr<TransferProgressUpdater> progress);
  TransferSharedMapData(Token, std::shared_ptr<TransferSharedFileData> fileData, uint64_t lower,
                        uint64_t upper, uint32_t expectedChecksum,
                        std::shared_ptr<TransferProgressUpdater> progress);
  TransferSharedMapData(const TransferSharedMapData&) = delete;
  TransferSharedMapData& operator=(const TransferSharedMapData&) = delete;
  ~TransferSharedMapData() override;

  // The chunk's length; a chunk is never longer than the manifest's u32 chunk size.
  uint32_t Length() const { return static_cast<uint32_t>(upperBound - lowerBound + 1); }

  // Counts n more bytes of a body written into the view: completed and downloaded.
  void CountWritten(uint64_t n);

  // Rewinds the view to the chunk's first byte and takes the chunk's counted bytes back
  // out of the completed counter. Does nothing without a view.
  void WithdrawProgress();

  // Sets the chunk's completed contribution to exactly its length and counts it verified.
  void CommitProgress();

  // Drops the view and forgets the counted bytes without touching the counters.
  void ResetProgress();

  // Writes the file data's keys, "lowerBound", "upperBound", "expectedChecksum" (lowercase
  // hexadecimal) and "fileProgressBytes".
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<TransferSharedFileData> fileData;
  const uint64_t lowerBound;
  const uint64_t upperBound;
  const uint32_t expectedChecksum;
  std::shared_ptr<MemoryMappedFileData> view;
  const std::shared_ptr<TransferProgressUpdater> progress;
  // Atomic because the work log may describe the chunk while its request writes.
  std::atomic<uint64_t> fileProgressBytes{0};

  // The node whose body is in the view, set when a request succeeds; and the nodes whose
  // bodies failed the checksum, which the chunk's next downloads avoid. A node that serves
  // corrupt bytes answers fast and without error, so the optimizer would keep choosing it
  // until the chunk's retries are spent.
  std::shared_ptr<NodeManifest> servedBy;
  std::vector<std::shared_ptr<NodeManifest>> mismatchedNodes;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_SHARED_MAP_DATA_H_
