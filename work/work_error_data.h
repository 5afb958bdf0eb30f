#ifndef ZARN_WORK_WORK_ERROR_DATA_H_
#define ZARN_WORK_WORK_ERROR_DATA_H_

#include <memory>
#include <string>

#include "work/work_status_data.h"

namespace zarn {

// A payload carrying a message (UTF-8).
class WorkErrorData : public virtual WorkStatusData {
 public:
  explicit WorkErrorData(std::string message);

  // "errorMessage" := the message.
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string ToString() const override;  // the message

  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

std::shared_ptr<WorkErrorData> MakeWorkErrorData(const std::string& message);

}  // namespace zarn

#endif  // ZARN_WORK_WORK_ERROR_DATA_H_
