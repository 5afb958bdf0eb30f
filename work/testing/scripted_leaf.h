#ifndef ZARN_WORK_TESTING_SCRIPTED_LEAF_H_
#define ZARN_WORK_TESTING_SCRIPTED_LEAF_H_

#include <atomic>
#include <boost/property_tree/ptree.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "work/simple_work.h"
#include "work/work_status.h"

namespace zarn {

// A leaf driven by a script: each attempt takes the next step (a status to return or a
// function to run); with the script empty it succeeds. It counts its attempts and cancels,
// says yes to ShouldRetry a configurable number of times and describes itself by name.
class ScriptedLeaf : public SimpleWork {
 public:
  using Step = std::function<WorkStatus(ScriptedLeaf&)>;

  static std::shared_ptr<ScriptedLeaf> Create(std::string name = "leaf",
                                              WorkCompleteCallback* observer = nullptr) {
    return observer ? std::make_shared<ScriptedLeaf>(std::move(name), observer)
                    : std::make_shared<ScriptedLeaf>(std::move(name));
  }
  explicit ScriptedLeaf(std::string name) : name_(std::move(name)) {}
  ScriptedLeaf(std::string name, WorkCompleteCallback* observer)
      : SimpleWork(observer), name_(std::move(name)) {}

  ScriptedLeaf& Then(WorkResult result) {
    return Then([result](ScriptedLeaf&) { return WorkStatus(result); });
  }
  ScriptedLeaf& Then(const WorkStatus& status) {
    return Then([status](ScriptedLeaf&) { return status; });
  }
  ScriptedLeaf& Then(Step step) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(std::move(step));
    return *this;
  }
  // What every attempt does once the script is spent (Success unless set).
  void Always(Step step) {
    std::lock_guard<std::mutex> lock(mutex_);
    always_ = std::move(step);
  }
  void SetRetryAnswers(int yes_count) { retryAnswers_ = yes_count; }

  WorkStatus ExecuteTask() override {
    ++attempts_;
    Step step;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!script_.empty()) {
        step = std::move(script_.front());
        script_.pop_front();
      } else {
        step = always_;
      }
    }
    return step ? step(*this) : WorkStatus(WorkResult::Success);
  }
  void OnCancel() override { ++cancels_; }
  bool ShouldRetry() override {
    ++retryQuestions_;
    if (retryAnswers_ <= 0) return false;
    --retryAnswers_;
    return true;
  }
  void Describe(boost::property_tree::ptree& tree) const override { tree.put("name", name_); }

  const std::string& name() const { return name_; }
  int attempts() const { return attempts_.load(); }
  int cancels() const { return cancels_.load(); }
  int retry_questions() const { return retryQuestions_.load(); }

 private:
  std::string name_;
  std::mutex mutex_;
  std::deque<Step> script_;
  Step always_;
  std::atomic<int> attempts_{0};
  std::atomic<int> cancels_{0};
  std::atomic<int> retryQuestions_{0};
  std::atomic<int> retryAnswers_{0};
};

}  // namespace zarn

#endif  // ZARN_WORK_TESTING_SCRIPTED_LEAF_H_
