#include "work/work_status_data.h"

namespace zarn {

std::string WorkStatusData::ToString() const { return std::string(); }

}  // namespace zarn
