// How transfer leaves turn the exception being handled into a status: the clauses are
// tried in order, so a stream failure is never taken for another manifest failure.

#include "transfer/works/transfer_work.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/transfer_status.h"
#include "transfer/transfer_status_data.h"
#include "work/work_status.h"

namespace zarn {
namespace {

WorkStatus Classify(const std::function<void()>& raise, WorkStatus (*mapping)()) {
  try {
    raise();
  } catch (...) {
    return mapping();
  }
  return WorkStatus(WorkResult::Success);
}

TEST(TransferWorkTest, ExceptionMappingsGiveResultAndError) {
  const struct {
    const char* name;
    std::function<void()> raise;
    WorkStatus (*mapping)();
    WorkResult result;
    TransferError error;
  } cases[] = {
      {"stream", [] { throw ManifestStreamException("x"); }, &ManifestExceptionStatus,
       WorkResult::RetryableError, TransferError::Network},
      {"locator", [] { throw ManifestLocatorException("x"); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::Manifest},
      {"parse", [] { throw ManifestParseException("x"); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::Manifest},
      {"manifest oom", [] { throw std::bad_alloc(); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::OutOfMemory},
      {"manifest other", [] { throw std::logic_error("x"); }, &ManifestExceptionStatus,
       WorkResult::Error, TransferError::Internal},
      {"manifest non-std", [] { throw 7; }, &ManifestExceptionStatus, WorkResult::Error,
       TransferError::Internal},
      {"request oom", [] { throw std::bad_alloc(); }, &RequestExceptionStatus, WorkResult::Error,
       TransferError::OutOfMemory},
      {"request other", [] { throw ManifestStreamException("x"); }, &RequestExceptionStatus,
       WorkResult::Error, TransferError::Internal},
      {"internal", [] { throw std::bad_alloc(); }, &InternalExceptionStatus, WorkResult::Error,
       TransferError::Internal},
  };
  for (const auto& c : cases) {
    const WorkStatus status = Classify(c.raise, c.mapping);
    EXPECT_EQ(status.result, c.result) << c.name;
    const auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
    ASSERT_NE(payload, nullptr) << c.name;
    EXPECT_EQ(payload->ToTransferError(), c.error) << c.name;
  }
}

}  // namespace
}  // namespace zarn
