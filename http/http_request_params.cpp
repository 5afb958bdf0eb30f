#include "http/http_request_params.h"

namespace zarn {

HttpRequestParams::HttpRequestParams(const std::string& url, HttpWriteCallback* sink)
    : url(url), sink(sink) {}

bool HttpRequestParams::HasRange() const { return !(rangeBegin == 0 && rangeEnd == kNoRangeEnd); }

}  // namespace zarn
