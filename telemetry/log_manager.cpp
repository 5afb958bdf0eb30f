#include "telemetry/log_manager.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "storage/file_exception.h"
#include "storage/path_helpers.h"
#include "storage/private_folder.h"
#include "storage/shared_file.h"
#include "storage/shared_file_factory.h"
#include "telemetry/event_kind.h"

namespace zarn {
namespace {

constexpr std::uint32_t kLogThreads = 2;

}  // namespace

LogManager::LogManager(std::uint32_t log_mask, std::string logs_folder,
                       SharedFileFactory* file_factory, Clock clock)
    : EventManager(kLogThreads),
      logMask_(log_mask),
      logsFolder_(std::move(logs_folder)),
      fileFactory_(file_factory),
      clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })) {}

LogManager::~LogManager() = default;

void LogManager::Log(std::uint32_t kind, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if ((kind & logMask_) == 0) return;
  try {
    if (!file_) file_ = OpenLogFile();
    if (!file_) return;
    // One write, so that a failure leaves at most one partial line.
    const std::string line = MakeLinePrefix() + text;
    const std::uint64_t room =
        kMaxLogFileBytes - ((kind & EventKind::Transfer) != 0 ? 0 : kTransferEventBytes);
    if (line.size() > room - std::min(written_, room)) return;
    file_->Write(line.data(), static_cast<std::uint32_t>(line.size()));
    written_ += line.size();
  } catch (...) {
    // The line is lost; an open file stays open for the next one.
  }
}

std::shared_ptr<SharedFile> LogManager::OpenLogFile() {
  const std::string base = GetTempFolder();
  CreatePrivateFolder(JoinPath(base, logsFolder_));
  for (int n = 0; n < kMaxLogFileNames; ++n) {
    try {
      return fileFactory_->Create(base, JoinPath(logsFolder_, MakeLogFileName(n)),
                                  SharedFileOpenMode::CreateNew, 0, kMaxLogFileBytes - 1);
    } catch (const FileInUseException&) {
      // The name exists (another run in the same second): try the next one.
    }
  }
  return nullptr;
}

std::string LogManager::MakeLogFileName(int n) const {
  std::string name = FormatNow("Log.%Y.%m.%d.%H.%M.%S.txt");
  if (n > 0) name += "." + std::to_string(n);
  return name;
}

std::string LogManager::MakeLinePrefix() const { return FormatNow("[%Y-%m-%d %H:%M:%S] "); }

std::string LogManager::FormatNow(const char* format) const {
  const std::time_t now = clock_();
  std::tm utc{};
  if (gmtime_r(&now, &utc) == nullptr) return std::string();
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &utc);
  return std::string(text, length);
}

}  // namespace zarn
