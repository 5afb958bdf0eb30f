#include "updater/simple_locale.h"

#include <boost/algorithm/string/replace.hpp>
#include <iomanip>
#include <sstream>

namespace zarn {

std::string SimpleLocale::TranslateFormat(const std::string& id,
                                          const std::string& argument) const {
  std::string text = Translate(id);
  boost::algorithm::replace_all(text, "{1}", Translate(argument));
  return text;
}

std::string SimpleLocale::Format(const std::string& id, const std::string& argument1,
                                 const std::string& argument2) const {
  std::string text = Format(id, argument1);
  boost::algorithm::replace_all(text, "{2}", argument2);
  return text;
}

std::string SimpleLocale::Format(const std::string& id, const std::string& argument) const {
  std::string text = Translate(id);
  boost::algorithm::replace_all(text, "{1}", argument);
  return text;
}

std::string SimpleLocale::FormatNumber(double value, int32_t decimals) const {
  std::ostringstream out;
  out << std::fixed << std::setprecision(decimals < 0 ? 0 : decimals) << value;
  return out.str();
}

std::string SimpleLocale::FormatPercent(double fraction, int32_t decimals) const {
  return FormatNumber(fraction * 100, decimals) + "%";
}

std::string SimpleLocale::FormatBytes(uint64_t bytes) const {
  const double n = static_cast<double>(bytes);
  if (bytes < 1048576ull) return FormatNumber(n / 1024, 0) + " KB";
  if (bytes < 1073741824ull) return FormatNumber(n / 1048576, 2) + " MB";
  return FormatNumber(n / 1073741824, 2) + " GB";
}

std::string SimpleLocale::FormatTimeRemaining(int32_t seconds) const {
  if (seconds == -1) return Translate(time_text::kCalculating);
  // 64 bits: adding the rounding minute to a value near INT32_MAX must not overflow.
  int64_t s = seconds;
  if (s > 60) s += 60;
  const int64_t hours = s / 3600;
  const int64_t minutes = (s - hours * 3600) / 60;
  return FormatHoursMinutesSeconds(static_cast<int32_t>(hours), static_cast<int32_t>(minutes),
                                   static_cast<int32_t>(s % 60));
}

}  // namespace zarn
