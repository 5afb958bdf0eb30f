#ifndef ZARN_TRANSFER_WORKS_TRANSFER_HTTP_WRITER_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_HTTP_WRITER_H_

#include <memory>

#include "transfer/works/http_bounded_file_data_writer.h"

namespace zarn {

class TransferSharedMapData;

// Writes a chunk's response body straight into the chunk's mapped view and counts every
// stored block into the transfer's completed and downloaded bytes as it arrives.
class TransferHttpWriter : public HttpBoundedFileDataWriter {
 public:
  explicit TransferHttpWriter(std::shared_ptr<TransferSharedMapData> map);
  HttpRequestStatus Write(const uint8_t* data, uint32_t length) override;

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_HTTP_WRITER_H_
