#include "work/work_status.h"

#include <boost/property_tree/ptree.hpp>

#include "work/work_status_data.h"

namespace zarn {

WorkStatus::WorkStatus(WorkResult result, std::shared_ptr<WorkStatusData> data)
    : result(result), retry(false), data(std::move(data)) {}

void WorkStatus::Describe(boost::property_tree::ptree& tree) const {
  tree.put("result", static_cast<int>(result));
  tree.put("retry", retry);
  if (data) {
    boost::property_tree::ptree child;
    data->Describe(child);
    tree.put_child("data", child);
  }
}

}  // namespace zarn
