#include "transfer/works/http_bounded_file_data_writer.h"

#include <new>
#include <utility>

#include "storage/bounded_file_data.h"
#include "storage/file_exception.h"

namespace zarn {

HttpBoundedFileDataWriter::HttpBoundedFileDataWriter(std::shared_ptr<BoundedFileData> target)
    : target_(std::move(target)) {}

HttpRequestStatus HttpBoundedFileDataWriter::Write(const uint8_t* data, uint32_t length) {
  if (length == 0) return HttpRequestStatus(HttpRequestResult::Succeeded, 0);
  try {
    const uint64_t written = target_->Write(data, length);
    return HttpRequestStatus(
        written == length ? HttpRequestResult::Succeeded : HttpRequestResult::WriteFailed, written);
  } catch (const FileOutOfBoundsException&) {
    return HttpRequestStatus(HttpRequestResult::RangeError, 0);
  } catch (const std::bad_alloc&) {
    return HttpRequestStatus(HttpRequestResult::OutOfMemory, 0);
  } catch (...) {
    return HttpRequestStatus(HttpRequestResult::WriteFailed, 0);
  }
}

}  // namespace zarn
