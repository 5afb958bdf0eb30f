#include "work/work_error_data.h"

#include <boost/property_tree/ptree.hpp>

namespace zarn {

WorkErrorData::WorkErrorData(std::string message) : message_(std::move(message)) {}

void WorkErrorData::Describe(boost::property_tree::ptree& tree) const {
  tree.put("errorMessage", message_);
}

std::string WorkErrorData::ToString() const { return message_; }

std::shared_ptr<WorkErrorData> MakeWorkErrorData(const std::string& message) {
  return std::make_shared<WorkErrorData>(message);
}

}  // namespace zarn
