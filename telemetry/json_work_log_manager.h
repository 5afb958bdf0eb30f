#ifndef ZARN_TELEMETRY_JSON_WORK_LOG_MANAGER_H_
#define ZARN_TELEMETRY_JSON_WORK_LOG_MANAGER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "telemetry/work_log_manager.h"

namespace zarn {

// The work log: transfer events and the completions and retries of observed works, each
// as one line "[YYYY-MM-DD HH:MM:SS] {compact JSON}" (UTC) of a file
// "Log.YYYY.MM.DD.HH.MM.SS.txt" below the temporary folder. Completions and retries are
// described on the reporting thread; the sink's own 2 threads only build and write lines.
class JsonWorkLogManager : public WorkLogManager {
 public:
  // log_mask: the EventKind bits written (the settings' -9 leaves out plain completions).
  // logs_folder: relative to the temporary folder. file_factory: not owned, outlives the
  // sink. clock: empty for the system clock.
  JsonWorkLogManager(std::uint32_t log_mask, const std::string& logs_folder,
                     SharedFileFactory* file_factory, Clock clock = Clock());
  // Writes everything still queued, then releases the file.
  ~JsonWorkLogManager() override;

  std::shared_ptr<TrackEventWork> CreateEventWork(std::uint32_t kind) override;

  // Describe the work with its status and queue the entry when the mask lets it through
  // (an entry the mask refuses holds no place in the queue); return at once, never throw.
  void OnWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus& status) override;
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>& work,
                         const WorkStatus& status) override;

 private:
  // False when no entry of base_kind can pass the mask, important or not.
  bool MayLog(std::uint32_t base_kind) const;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_JSON_WORK_LOG_MANAGER_H_
