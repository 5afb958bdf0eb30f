#ifndef ZARN_TRANSFER_TRANSFER_FACTORY_H_
#define ZARN_TRANSFER_TRANSFER_FACTORY_H_

#include <memory>

namespace zarn {

class Transfer;
class TransferBehavior;
struct TransferParams;

// Makes the transfers that a transfer manager holds.
class TransferFactory {
 public:
  virtual ~TransferFactory() = default;
  virtual std::shared_ptr<Transfer> CreateTransfer(const TransferParams& params,
                                                   const TransferBehavior& behavior) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_FACTORY_H_
