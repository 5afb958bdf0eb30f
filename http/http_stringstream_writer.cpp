#include "http/http_stringstream_writer.h"

#include <sstream>

namespace zarn {

HttpRequestStatus HttpStringstreamWriter::Write(const std::uint8_t* data, std::uint32_t length) {
  if (length == 0) return HttpRequestStatus(HttpRequestResult::Succeeded, 0);
  stream_->write(reinterpret_cast<const char*>(data), length);
  if (stream_->good()) return HttpRequestStatus(HttpRequestResult::Succeeded, length);
  return HttpRequestStatus(HttpRequestResult::WriteFailed, 0);
}

}  // namespace zarn
