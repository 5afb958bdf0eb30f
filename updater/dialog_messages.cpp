#include "updater/dialog_messages.h"

#include "updater/simple_locale.h"

namespace zarn {
namespace Updater {

std::string SupportMessage() {
  return std::string("Please visit ") + kSupportHost + " for further assistance.";
}

std::string UnexpectedErrorMessage() { return "An unexpected error occurred. " + SupportMessage(); }

std::string LaunchFailedMessage() {
  return "The {1} Downloader could not be launched. " + SupportMessage();
}

std::string ErrorMessage(uint8_t error) {
  switch (error) {
    case 2:
      return kNetworkMessage;
    case 3:
      return kOutOfMemoryMessage;
    case 4:
      return kDiskFullMessage;
    case 5:
    case 7:
      return kDiskWriteMessage;
    default:
      return UnexpectedErrorMessage();
  }
}

std::vector<std::string> AllMessageIds() {
  namespace t = time_text;
  return {t::kHoursMinutes,      t::kHoursOneMinute, t::kHours,         t::kOneHourMinutes,
          t::kOneHourOneMinute,  t::kOneHour,        t::kMinutes,       t::kOneMinute,
          t::kSeconds,           t::kOneSecond,      t::kCalculating,   kNetworkMessage,
          kOutOfMemoryMessage,   kDiskFullMessage,   kDiskWriteMessage, UnexpectedErrorMessage(),
          LaunchFailedMessage(), kWindowTitle,       kErrorCaption,     kLaunchingText};
}

}  // namespace Updater
}  // namespace zarn
