#ifndef ZARN_UPDATER_BOOST_SYSTEM_LOCALE_H_
#define ZARN_UPDATER_BOOST_SYSTEM_LOCALE_H_

#include <locale>
#include <string>

#include "updater/simple_locale.h"

namespace zarn {

class MessageCatalog;

// The user's locale with the gettext catalogs of a MessageCatalog, through boost.locale.
// Only language, country and variant come from the locale name; the text encoding is
// always UTF-8, whatever the name says. A name that is not a plain language (2 or 3 ASCII
// letters, optionally '_' and a region, '.' and an encoding, '@' and a modifier) is read
// as the default locale: English texts.
class BoostSystemLocale : public SimpleLocale {
 public:
  // `locale_name` as in the environment ("de_DE.UTF-8", "pt_BR", "C"); "" is the user's
  // locale (UserLocaleName()). The catalog is read during construction only.
  explicit BoostSystemLocale(const MessageCatalog& catalog, const std::string& locale_name = "");

  BoostSystemLocale(const BoostSystemLocale&) = delete;
  BoostSystemLocale& operator=(const BoostSystemLocale&) = delete;

  std::string Translate(const std::string& id) const override;
  std::string FormatHoursMinutesSeconds(int32_t hours, int32_t minutes,
                                        int32_t seconds) const override;

 private:
  std::string domain_;
  std::string root_;
  std::locale locale_;
};

// The first non-empty one of LC_ALL, LC_MESSAGES and LANG; "C" when none is set.
std::string UserLocaleName();

}  // namespace zarn

#endif  // ZARN_UPDATER_BOOST_SYSTEM_LOCALE_H_
