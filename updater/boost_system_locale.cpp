#include "updater/boost_system_locale.h"

#include <boost/locale/format.hpp>
#include <boost/locale/generator.hpp>
#include <boost/locale/gnu_gettext.hpp>
#include <boost/locale/info.hpp>
#include <boost/locale/message.hpp>
#include <cstddef>
#include <cstdlib>

#include "updater/message_catalog.h"

namespace zarn {

namespace {

constexpr std::size_t kMaxNamePart = 32;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNamePartChar(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_'; }

// The length of the run of accepted characters of text from at.
std::size_t RunLength(const std::string& text, std::size_t at, bool (*accept)(char)) {
  std::size_t end = at;
  while (end < text.size() && accept(text[end])) ++end;
  return end - at;
}

// Whether name is a plain language: 2 or 3 ASCII letters, then optionally '_' and a
// region (2 letters or 3 digits), '.' and an encoding, '@' and a modifier. The locale
// backend is handed nothing else: it crashes on some other names (a long language part,
// bytes outside ASCII).
bool IsPlainLanguageName(const std::string& name) {
  std::size_t at = RunLength(name, 0, IsAsciiLetter);
  if (at < 2 || at > 3) return false;
  if (at < name.size() && name[at] == '_') {
    const std::size_t region = RunLength(name, at + 1, IsAsciiLetter) == 2  ? 2
                               : RunLength(name, at + 1, IsAsciiDigit) == 3 ? 3
                                                                            : 0;
    if (region == 0) return false;
    at += 1 + region;
  }
  for (char separator : {'.', '@'}) {
    if (at < name.size() && name[at] == separator) {
      const std::size_t part = RunLength(name, at + 1, IsNamePartChar);
      if (part == 0 || part > kMaxNamePart) return false;
      at += 1 + part;
    }
  }
  return at == name.size();
}

// "de_DE.ISO-8859-1@euro" -> "de_DE.UTF-8@euro": the encoding of a name is replaced. A name
// that is not a plain language ("", "C", "POSIX" among them) is the default locale.
std::string WithUtf8Encoding(const std::string& name) {
  if (!IsPlainLanguageName(name)) return "C.UTF-8";
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

BoostSystemLocale::BoostSystemLocale(const MessageCatalog& catalog, const std::string& locale_name)
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

std::string BoostSystemLocale::FormatHoursMinutesSeconds(int32_t h, int32_t m, int32_t s) const {
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
