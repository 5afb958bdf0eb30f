#ifndef ZARN_UPDATER_SIMPLE_LOCALE_H_
#define ZARN_UPDATER_SIMPLE_LOCALE_H_

#include <cstdint>
#include <string>

namespace zarn {

// The message ids of the time texts.
namespace time_text {
constexpr char kHoursMinutes[] = "{1} hours, {2} minutes remaining";
constexpr char kHoursOneMinute[] = "{1} hours, 1 minute remaining";
constexpr char kHours[] = "{1} hours remaining";
constexpr char kOneHourMinutes[] = "1 hour, {1} minutes remaining";
constexpr char kOneHourOneMinute[] = "1 hour, 1 minute remaining";
constexpr char kOneHour[] = "1 hour remaining";
constexpr char kMinutes[] = "{1} minutes remaining";
constexpr char kOneMinute[] = "1 minute remaining";
constexpr char kSeconds[] = "{1} seconds remaining";
constexpr char kOneSecond[] = "1 second remaining";
constexpr char kCalculating[] = "Calculating time remaining";
}  // namespace time_text

// Translation and formatting of user-visible texts. Texts are UTF-8; placeholders "{1}" and
// "{2}" are filled by plain replacement after translation. Holds no state that changes
// after construction, so it may be used from any thread.
class SimpleLocale {
 public:
  virtual ~SimpleLocale() = default;

  // The translation of `id`, or `id` itself when there is none.
  virtual std::string Translate(const std::string& id) const = 0;
  // Translate(id) with every "{1}" replaced by Translate(argument).
  virtual std::string TranslateFormat(const std::string& id, const std::string& argument) const;
  // Format(id, argument1), then every "{2}" replaced by argument2.
  virtual std::string Format(const std::string& id, const std::string& argument1,
                             const std::string& argument2) const;
  // Translate(id) with every "{1}" replaced by `argument`, untranslated.
  virtual std::string Format(const std::string& id, const std::string& argument) const;
  // Fixed notation with `decimals` digits after the point.
  virtual std::string FormatNumber(double value, int32_t decimals) const;
  virtual std::string FormatPercent(double fraction, int32_t decimals) const;
  // "N KB" below 1 MiB, "N.NN MB" below 1 GiB, else "N.NN GB".
  virtual std::string FormatBytes(uint64_t bytes) const;
  // -1: "Calculating time remaining"; otherwise the remaining time with a partial minute
  // shown as a whole one (see FormatHoursMinutesSeconds).
  virtual std::string FormatTimeRemaining(int32_t seconds) const;
  virtual std::string FormatHoursMinutesSeconds(int32_t hours, int32_t minutes,
                                                int32_t seconds) const = 0;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_SIMPLE_LOCALE_H_
