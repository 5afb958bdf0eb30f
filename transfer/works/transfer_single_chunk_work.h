#ifndef ZARN_TRANSFER_WORKS_TRANSFER_SINGLE_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_SINGLE_CHUNK_WORK_H_

#include <cstdint>
#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/sequential_work.h"

namespace zarn {

class HttpSession;
class TransferSharedFileData;
class TransferSharedMapData;

// One chunk of a file: map its range, prefetch it, verify it and download it when needed,
// release the map.
class TransferSingleChunkWork : public TransferWork, public SequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferSingleChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      std::shared_ptr<TransferSharedFileData> fileData, const uint64_t& lower,
      const uint64_t& upper, uint32_t expectedChecksum);
  TransferSingleChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                          std::shared_ptr<HttpSession> session,
                          std::shared_ptr<TransferSharedFileData> fileData, uint64_t lower,
                          uint64_t upper, uint32_t expectedChecksum);

  void Describe(boost::property_tree::ptree& tree) const override;

  // Resets every step, drops the view and forgets the chunk's counted bytes without
  // touching the transfer's counters.
  void Reset() override;

  // Drops the chunk's view (unmapped when nothing else holds it).
  void ReleaseMap();

  const std::shared_ptr<TransferSharedMapData>& GetMapData() const { return map_; }

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_SINGLE_CHUNK_WORK_H_
