#include "transfer/optimizer/node_statistics_table.h"

#include "transfer/manifest/node_manifest.h"

namespace zarn {

NodeStatisticsTable::NodeStatisticsTable(double smoothing) : prototype_(smoothing), table_(11) {
  table_.max_load_factor(1.0f);
}

std::shared_ptr<ExponentialNormalNodeStatistics> NodeStatisticsTable::FindOrCreate(
    const std::shared_ptr<NodeManifest>& node) {
  auto& entry = table_[node->GetHost()];
  if (!entry) entry = std::make_shared<ExponentialNormalNodeStatistics>(prototype_);
  return entry;
}

}  // namespace zarn
