#include "http/http_request_status.h"

namespace zarn {

HttpRequestStatus::HttpRequestStatus(HttpRequestResult result, const std::uint64_t& bytes)
    : result(result), bytes(bytes) {}

}  // namespace zarn
