#ifndef ZARN_HTTP_HTTP_STRINGSTREAM_WRITER_H_
#define ZARN_HTTP_HTTP_STRINGSTREAM_WRITER_H_

#include <iosfwd>

#include "http/http_write_callback.h"

namespace zarn {

// Appends every piece of a body to a caller's string stream.
class HttpStringstreamWriter : public HttpWriteCallback {
 public:
  // stream is not owned and must outlive the writer.
  explicit HttpStringstreamWriter(std::stringstream* stream) : stream_(stream) {}

  // Succeeded with all bytes while the stream stays good, else WriteFailed with 0 bytes.
  HttpRequestStatus Write(const std::uint8_t* data, std::uint32_t length) override;

 private:
  std::stringstream* stream_;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_STRINGSTREAM_WRITER_H_
