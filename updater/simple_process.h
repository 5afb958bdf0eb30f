#ifndef ZARN_UPDATER_SIMPLE_PROCESS_H_
#define ZARN_UPDATER_SIMPLE_PROCESS_H_

#include <string>
#include <utility>

namespace zarn {

// A program file that can be started.
class SimpleProcess {
 public:
  explicit SimpleProcess(std::string path) : path_(std::move(path)) {}
  virtual ~SimpleProcess() = default;

  // Starts the file with `parameters` (one command-line string) in `directory` ("" is the
  // file's own folder) and, with `wait`, waits until it has exited. True when it started
  // and the wait, if any, did not fail. Never throws.
  virtual bool Launch(bool wait, const std::string& parameters, const std::string& directory) = 0;

  const std::string& path() const { return path_; }

 protected:
  std::string path_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_SIMPLE_PROCESS_H_
