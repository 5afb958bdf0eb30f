#ifndef ZARN_HTTP_HTTP_REQUEST_PARAMS_H_
#define ZARN_HTTP_HTTP_REQUEST_PARAMS_H_

#include <cstdint>
#include <string>

namespace zarn {

class HttpWriteCallback;

// The User-Agent of every request and the agent name of automatic proxy discovery. A
// constant array, so that it is usable during static initialisation of any other file.
inline constexpr char UserAgentString[] = "Corvane Skelmir TransferService 0.9";

// Everything one HTTP exchange needs: what to fetch or post, where the body goes, the
// range and the time-outs. Only the URL and the sink are given at construction; callers
// set the other fields afterwards.
struct HttpRequestParams {
  static constexpr std::uint64_t kNoRangeEnd = 0xFFFFFFFFFFFFFFFFull;

  HttpRequestParams(const std::string& url, HttpWriteCallback* sink);

  // True unless rangeBegin and rangeEnd hold their defaults (0 and kNoRangeEnd).
  bool HasRange() const;

  std::string url;
  HttpWriteCallback* sink;   // not owned; must outlive the request's transfer
  std::uint32_t method = 0;  // 1 = POST; every other value = GET
  std::string body;          // the POST body, sent up to its first zero byte
  std::string contentType = "application/x-www-form-urlencoded";  // POST only
  std::string acceptEncoding;            // offered only when not empty and no range is asked
  std::uint64_t rangeBegin = 0;          // first byte of the range
  std::uint64_t rangeEnd = kNoRangeEnd;  // last byte of the range, inclusive
  std::uint32_t connectTimeout = 5;      // seconds
  std::uint32_t timeout = 0;             // seconds for the whole transfer; 0 = no limit
  std::int32_t lowSpeedLimit = 0;        // bytes per second; used only when both are > 0
  std::int32_t lowSpeedTime = 0;         // seconds
  std::string userAgent = UserAgentString;
};

}  // namespace zarn

#endif  // ZARN_HTTP_HTTP_REQUEST_PARAMS_H_
