#ifndef ZARN_TELEMETRY_TESTING_DESCRIBED_WORK_H_
#define ZARN_TELEMETRY_TESTING_DESCRIBED_WORK_H_

// Test fixture: a leaf that describes itself with a name and, optionally, "important",
// and answers its attempts from a script (the last answer repeats).

#include <atomic>
#include <boost/property_tree/ptree.hpp>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "work/simple_work.h"
#include "work/work_status.h"

namespace zarn {

class DescribedWork : public SimpleWork {
 public:
  explicit DescribedWork(std::string name, std::optional<std::string> important = std::nullopt)
      : name_(std::move(name)), important_(std::move(important)) {}

  void Describe(boost::property_tree::ptree& tree) const override {
    std::lock_guard<std::mutex> lock(mutex_);
    describeThread_ = std::this_thread::get_id();
    if (throwOnDescribe_) throw std::runtime_error("describe failed");
    tree.put("name", name_);
    if (important_) tree.put("important", *important_);
  }

  WorkStatus ExecuteTask() override {
    const std::size_t attempt = attempts_++;
    return WorkStatus(script_.empty() ? WorkResult::Success
                                      : script_[std::min(attempt, script_.size() - 1)]);
  }
  bool ShouldRetry() override { return retriesLeft_ > 0 && retriesLeft_-- > 0; }
  void OnCancel() override {}

  void SetName(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = name;
  }
  void SetScript(std::vector<WorkResult> script, int retries) {
    script_ = std::move(script);
    retriesLeft_ = retries;
  }
  void ThrowOnDescribe() { throwOnDescribe_ = true; }
  std::thread::id DescribeThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return describeThread_;
  }

 private:
  mutable std::mutex mutex_;
  std::string name_;
  std::optional<std::string> important_;
  mutable std::thread::id describeThread_;
  std::atomic<bool> throwOnDescribe_{false};
  std::vector<WorkResult> script_;
  std::atomic<std::size_t> attempts_{0};
  int retriesLeft_ = 0;
};

}  // namespace zarn

#endif  // ZARN_TELEMETRY_TESTING_DESCRIBED_WORK_H_
