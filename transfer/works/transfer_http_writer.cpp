#include "transfer/works/transfer_http_writer.h"

#include <utility>

#include "storage/memory_mapped_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"

namespace zarn {

TransferHttpWriter::TransferHttpWriter(std::shared_ptr<TransferSharedMapData> map)
    : HttpBoundedFileDataWriter(map->view), map_(std::move(map)) {}

HttpRequestStatus TransferHttpWriter::Write(const uint8_t* data, uint32_t length) {
  HttpRequestStatus status = HttpBoundedFileDataWriter::Write(data, length);
  if (status.bytes > 0) map_->CountWritten(status.bytes);
  return status;
}

}  // namespace zarn
