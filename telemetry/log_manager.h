#ifndef ZARN_TELEMETRY_LOG_MANAGER_H_
#define ZARN_TELEMETRY_LOG_MANAGER_H_

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "telemetry/event_manager.h"

namespace zarn {

class SharedFile;
class SharedFileFactory;

// An event sink that writes lines into one dated log file below the temporary folder,
// on a pool of 2 threads. The file is created with the first line that passes the mask
// and kept until the sink is destroyed; a run that writes nothing leaves no file.
// Writing the log never fails anything else: every failure only loses its line.
class LogManager : public EventManager {
 public:
  // Seconds since 1970; the seam lets tests fix the time.
  using Clock = std::function<std::time_t()>;

  // How many file names ("…txt", "…txt.1", …) are tried when the name already exists.
  static constexpr int kMaxLogFileNames = 100;

  // The most a log file holds; a line that would pass it is lost, as on a full disk.
  // Failing nodes cost a line per request, each with its chunk's path, and a node list may
  // hold thousands: the log must not fill the disk the download needs.
  static constexpr std::uint64_t kMaxLogFileBytes = 4 << 20;
  // The last of a file that only transfer events may fill, so that a file the lines of
  // failing works have filled still tells how each transfer ended.
  static constexpr std::uint64_t kTransferEventBytes = 1 << 20;

  // Writes MakeLinePrefix() and text as one line when kind shares a bit with the mask and
  // the file has room for it (kTransferEventBytes less unless kind is a transfer event's).
  // Never throws; lines never interleave.
  void Log(std::uint32_t kind, const std::string& text);

  std::uint32_t GetLogMask() const { return logMask_; }

  // "Log.%Y.%m.%d.%H.%M.%S.txt" of the current UTC time, then "." and n when n > 0.
  std::string MakeLogFileName(int n) const;
  // "[%Y-%m-%d %H:%M:%S] " of the current UTC time.
  std::string MakeLinePrefix() const;

 protected:
  // log_mask: the EventKind bits written. logs_folder: relative to the temporary folder.
  // file_factory: not owned, outlives the sink. clock: empty for the system clock.
  LogManager(std::uint32_t log_mask, std::string logs_folder, SharedFileFactory* file_factory,
             Clock clock);
  ~LogManager() override;

 private:
  // Creates the logs folder (private to this user) and a new log file in it; moves to the
  // next name only while the name exists, up to kMaxLogFileNames names. Null when every
  // name was taken; any other failure throws.
  std::shared_ptr<SharedFile> OpenLogFile();
  std::string FormatNow(const char* format) const;

  std::mutex mutex_;  // guards file_ and every write to it
  const std::uint32_t logMask_;
  const std::string logsFolder_;
  SharedFileFactory* const fileFactory_;
  const Clock clock_;
  std::shared_ptr<SharedFile> file_;
  std::uint64_t written_ = 0;  // bytes of file_
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_LOG_MANAGER_H_
