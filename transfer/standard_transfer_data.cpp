#include "transfer/standard_transfer_data.h"

#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/transfer_status_impl.h"

namespace zarn {

StandardTransferData::StandardTransferData(const TransferParams& params_,
                                           const TransferBehavior& behavior_)
    : params(params_),
      behavior(behavior_),
      status(std::make_shared<TransferStatusImpl>(&params, behavior.config.rateWindow,
                                                  behavior.config.estimateInterval)) {}

StandardTransferData::~StandardTransferData() = default;

}  // namespace zarn
