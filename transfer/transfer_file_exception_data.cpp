#include "transfer/transfer_file_exception_data.h"

#include <new>

#include "storage/file_exception.h"

namespace zarn {
namespace {

// The code and the retryable flag of a captured exception; the first matching class wins.
std::pair<TransferError, bool> Classify(const std::exception_ptr& exception) {
  try {
    if (exception) std::rethrow_exception(exception);
  } catch (const FileBadPathException&) {
    return {TransferError::FileAccess, false};
  } catch (const FileInUseException&) {
    return {TransferError::FileAccess, true};
  } catch (const FileInaccessibleException&) {
    return {TransferError::FileAccess, true};
  } catch (const FileInsufficientSpaceException&) {
    return {TransferError::DiskFull, true};
  } catch (const FileOutOfBoundsException&) {
    return {TransferError::Internal, false};
  } catch (const FileException&) {
    return {TransferError::File, false};
  } catch (const std::bad_alloc&) {
    return {TransferError::OutOfMemory, false};
  } catch (...) {
  }
  return {TransferError::Internal, false};
}

}  // namespace

TransferFileExceptionData::TransferFileExceptionData(std::exception_ptr exception)
    : TransferFileExceptionData(exception, Classify(exception)) {}

TransferFileExceptionData::TransferFileExceptionData(
    std::exception_ptr exception, const std::pair<TransferError, bool>& classified)
    : TransferExceptionData(classified.first, exception), retryable_(classified.second) {}

std::shared_ptr<TransferFileExceptionData> MakeTransferFileExceptionData(
    std::exception_ptr exception) {
  return std::make_shared<TransferFileExceptionData>(exception);
}

}  // namespace zarn
