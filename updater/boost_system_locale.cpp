#include "updater/boost_system_locale.h"

#include <boost/locale/format.hpp>
#include <boost/locale/generator.hpp>
#include <boost/locale/gnu_gettext.hpp>
#include <boost/locale/info.hpp>
#include <boost/locale/message.hpp>
#include <cstdlib>

#include "updater/message_catalog.h"

namespace zarn {

namespace {

// "de_DE.ISO-8859-1@euro" -> "de_DE.UTF-8@euro": the encoding of a name is replaced.
std::string WithUtf8Encoding(const std::string& name) {
  if (name.empty() || name == "C" || name == "POSIX") return "C.UTF-8";
  std::string::size_type at = name.find('@');
  std::string base = name.substr(0, at);
  std::string variant = at == std::string::npos ? "" : name.substr(at);
  base = base.substr(0, base.find('.'));
  return base + ".UTF-8" + variant;
}

}  // namespace

std::string UserLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

BoostSystemLocale::BoostSystemLocale(const MessageCatalog& catalog,
                                     const std::string& locale_name)
    : domain_(catalog.GetName()), root_(catalog.GetPath()) {
  namespace bl = boost::locale;
  bl::generator generator;
  std::locale base =
      generator(WithUtf8Encoding(locale_name.empty() ? UserLocaleName() : locale_name));
  const bl::info& info = std::use_facet<bl::info>(base);

  bl::gnu_gettext::messages_info messages;
  messages.language = info.language();
  messages.country = info.country();
  messages.variant = info.variant();
  messages.encoding = "UTF-8";
  messages.paths.push_back(root_);
  messages.domains.push_back(bl::gnu_gettext::messages_info::domain(domain_));
  messages.callback = [&catalog](const std::string& path, const std::string& encoding) {
    return catalog.LoadFile(path, encoding);
  };
  locale_ = std::locale(base, bl::gnu_gettext::create_messages_facet<char>(messages));
}

std::string BoostSystemLocale::Translate(const std::string& id) const {
  return boost::locale::translate(id).str(locale_);
}

std::string BoostSystemLocale::FormatHoursMinutesSeconds(int32_t h, int32_t m,
                                                         int32_t s) const {
  namespace t = time_text;
  auto format = [this](const char* id) { return boost::locale::format(Translate(id)); };
  if (h > 1) {
    if (m > 1) return (format(t::kHoursMinutes) % h % m).str(locale_);
    if (m == 1) return (format(t::kHoursOneMinute) % h).str(locale_);
    return (format(t::kHours) % h).str(locale_);
  }
  if (h == 1) {
    if (m > 1) return (format(t::kOneHourMinutes) % m).str(locale_);
    if (m == 1) return format(t::kOneHourOneMinute).str(locale_);
    return format(t::kOneHour).str(locale_);
  }
  if (m > 1) return (format(t::kMinutes) % m).str(locale_);
  if (m == 1) return format(t::kOneMinute).str(locale_);
  if (s > 1) return (format(t::kSeconds) % s).str(locale_);
  if (s == 1) return format(t::kOneSecond).str(locale_);
  return (format(t::kSeconds) % 0).str(locale_);
}

}  // namespace zarn
