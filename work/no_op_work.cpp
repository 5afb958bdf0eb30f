#include "work/no_op_work.h"

#include <boost/property_tree/ptree.hpp>

namespace zarn {

std::shared_ptr<NoOpWork> NoOpWork::Create() { return std::make_shared<NoOpWork>(Token()); }

std::shared_ptr<NoOpWork> NoOpWork::Create(WorkCompleteCallback* observer) {
  return std::make_shared<NoOpWork>(Token(), observer);
}

void NoOpWork::Describe(boost::property_tree::ptree& tree) const { tree.put("name", "NoOpWork"); }

WorkStatus NoOpWork::ExecuteTask() { return WorkStatus(WorkResult::Success); }

void NoOpWork::OnCancel() {}

}  // namespace zarn
