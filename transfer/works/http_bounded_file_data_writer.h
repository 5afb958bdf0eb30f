#ifndef ZARN_TRANSFER_WORKS_HTTP_BOUNDED_FILE_DATA_WRITER_H_
#define ZARN_TRANSFER_WORKS_HTTP_BOUNDED_FILE_DATA_WRITER_H_

#include <cstdint>
#include <memory>

#include "http/http_write_callback.h"

namespace zarn {

class BoundedFileData;

// Writes a response body at the cursor of a bounded file or view. A block that would pass
// the upper bound is not written and ends the body with RangeError; a fault in the target
// ends it with WriteFailed, an allocation failure with OutOfMemory.
class HttpBoundedFileDataWriter : public HttpWriteCallback {
 public:
  explicit HttpBoundedFileDataWriter(std::shared_ptr<BoundedFileData> target);
  HttpRequestStatus Write(const uint8_t* data, uint32_t length) override;

 private:
  const std::shared_ptr<BoundedFileData> target_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_HTTP_BOUNDED_FILE_DATA_WRITER_H_
