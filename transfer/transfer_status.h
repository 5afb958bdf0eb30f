#ifndef ZARN_TRANSFER_TRANSFER_STATUS_H_
#define ZARN_TRANSFER_TRANSFER_STATUS_H_

#include <cstdint>
#include <string>

namespace zarn {

// Where a transfer is in its life. None is never the state of a transfer object: it is
// the state of the record of an unknown transfer and of the empty record.
enum class TransferState : uint8_t {
  None = 0,
  Initializing = 1,
  InitializingPaused = 2,
  Initialized = 3,
  Transferring = 4,
  Paused = 5,
  Suspended = 6,
  Completed = 7,
  Canceled = 8,
};

// What went wrong with a transfer; None when nothing did.
enum class TransferError : uint8_t {
  None = 0,
  Manifest = 1,
  Network = 2,
  OutOfMemory = 3,
  DiskFull = 4,
  FileAccess = 5,
  Checksum = 6,
  File = 7,
  Request = 8,
  Internal = 9,
};

// The snapshot that every transfer operation returns and the application polls.
struct TransferStatus {
  std::string transferId;
  std::string partnerId;
  std::string packageId;
  std::string versionId;
  std::string destPath;
  TransferState state = TransferState::None;
  TransferError error = TransferError::None;
  uint8_t retryable = 0;
  // The package's run file path; reported only once Completed.
  std::string runFile;
  // Bytes received in response bodies of chunk requests.
  uint64_t downloadedBytes = 0;
  // Bytes of the package counted as done (can fall back when a chunk is fetched again).
  uint64_t completedBytes = 0;
  // Bytes of the package in chunks whose CRC-32 matched.
  uint64_t verifiedBytes = 0;
  // Size of the package; 0 until initialization completes.
  uint64_t totalBytes = 0;
  uint64_t bytesPerSecond = 0;
  // Estimated seconds left; -1 while no estimate exists.
  int32_t secondsRemaining = -1;

  // The record of no transfer: transferId empty, the other identity strings "?", state
  // None, error Internal.
  static TransferStatus MakeEmpty();
  // The record of the transfer id in the given state: partnerId, packageId and versionId
  // "?", destPath empty, error None.
  static TransferStatus MakeForId(const std::string& id, TransferState state);
  TransferStatus Copy() const { return *this; }
};

// The state's and the error's numbers, for descriptions and texts.
inline unsigned ToNumber(TransferState state) { return static_cast<unsigned>(state); }
inline unsigned ToNumber(TransferError error) { return static_cast<unsigned>(error); }

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_STATUS_H_
