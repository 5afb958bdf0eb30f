#ifndef ZARN_TELEMETRY_EVENT_KIND_H_
#define ZARN_TELEMETRY_EVENT_KIND_H_

#include <cstdint>

namespace zarn {

// Bit flags of an event, given when its event work is made. The work log writes an
// event only when its kind shares a bit with the log mask; the analytics sink sends
// every kind, choosing the endpoint by it.
namespace EventKind {
inline constexpr std::uint32_t Transfer = 1;            // a transfer event
inline constexpr std::uint32_t WorkError = 2;           // a work finished with an error
inline constexpr std::uint32_t WorkRetry = 4;           // a simple work is run again
inline constexpr std::uint32_t WorkComplete = 8;        // a work finished otherwise
inline constexpr std::uint32_t Important = 16;          // added for an "important" work
inline constexpr std::uint32_t TransferAnalytics = 32;  // a transfer analytics request
}  // namespace EventKind

}  // namespace zarn

#endif  // ZARN_TELEMETRY_EVENT_KIND_H_
