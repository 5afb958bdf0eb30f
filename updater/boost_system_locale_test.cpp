#include "updater/boost_system_locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "updater/dialog_messages.h"
#include "updater/embedded_message_catalog.h"
#include "updater/module_resources.h"

namespace zarn {
namespace {

// The (msgid, msgstr) pairs of a GNU MO file; fails the test when it is malformed.
std::map<std::string, std::string> ReadMoFile(const unsigned char* data, std::size_t size) {
  auto word = [&](std::size_t offset) {
    uint32_t value = 0;
    if (offset + 4 <= size) std::memcpy(&value, data + offset, 4);
    return value;
  };
  std::map<std::string, std::string> entries;
  EXPECT_EQ(word(0), 0x950412deu);
  const uint32_t count = word(8), originals = word(12), translations = word(16);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id_length = word(originals + 8 * i), id_offset = word(originals + 8 * i + 4);
    uint32_t text_length = word(translations + 8 * i);
    uint32_t text_offset = word(translations + 8 * i + 4);
    EXPECT_LE(id_offset + id_length, size);
    EXPECT_LE(text_offset + text_length, size);
    if (id_offset + id_length > size || text_offset + text_length > size) break;
    entries[std::string(reinterpret_cast<const char*>(data) + id_offset, id_length)] =
        std::string(reinterpret_cast<const char*>(data) + text_offset, text_length);
  }
  return entries;
}

std::map<std::string, std::string> EmbeddedCatalog(uint16_t id) {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  if (!ModuleResources::Embedded().FindBinary("MO", id, &data, &size)) {
    ADD_FAILURE() << "no catalog " << id;
    return {};
  }
  return ReadMoFile(data, size);
}

class BoostSystemLocaleTest : public testing::Test {
 protected:
  BoostSystemLocaleTest() : catalog_(ModuleResources::Embedded(), "updater") {
    LanguageTable(&catalog_);
  }
  EmbeddedMessageCatalog catalog_;
};

TEST_F(BoostSystemLocaleTest, EveryCatalogTranslatesEveryMessage) {
  const std::vector<std::string> ids = Updater::AllMessageIds();
  const std::set<std::string> expected(ids.begin(), ids.end());
  ASSERT_EQ(expected.size(), 20u);
  for (uint16_t id = 111; id <= 128; ++id) {
    SCOPED_TRACE(id);
    std::map<std::string, std::string> entries = EmbeddedCatalog(id);
    ASSERT_EQ(entries.count(""), 1u);
    EXPECT_NE(entries[""].find("charset=UTF-8"), std::string::npos);
    entries.erase("");
    std::set<std::string> found;
    for (const auto& [msgid, text] : entries) {
      found.insert(msgid);
      EXPECT_FALSE(text.empty()) << msgid;
      for (const char* placeholder : {"{1}", "{2}"}) {
        EXPECT_EQ(msgid.find(placeholder) == std::string::npos,
                  text.find(placeholder) == std::string::npos)
            << msgid << " -> " << text;
      }
      if (msgid.find(Updater::kSupportHost) != std::string::npos) {
        EXPECT_NE(text.find(Updater::kSupportHost), std::string::npos) << text;
      }
    }
    EXPECT_EQ(found, expected);
  }
}

TEST_F(BoostSystemLocaleTest, ChoosesTheCatalogOfTheLanguage) {
  const struct {
    const char* locale;
    uint16_t catalog;  // 0: English
  } cases[] = {
      {"cs_CZ.UTF-8", 111},
      {"de_DE.UTF-8", 112},
      {"de_AT", 112},
      {"el_GR", 113},
      {"es_MX.UTF-8", 114},
      {"es_AR", 114},
      {"es_US", 115},
      {"es_ES.UTF-8", 115},
      {"es", 115},
      {"fr_CA", 116},
      {"it_IT", 117},
      {"ja_JP.UTF-8", 118},
      {"ko_KR", 119},
      {"nl_BE", 120},
      {"pl_PL", 121},
      {"pt_BR.UTF-8", 122},
      {"pt_PT", 122},
      {"ro_RO", 123},
      {"ru_RU.UTF-8", 124},
      {"th_TH", 125},
      {"tr_TR", 126},
      {"zh_CN.UTF-8", 127},
      {"zh", 127},
      {"zh_SG", 127},
      {"zh_TW.UTF-8", 128},
      {"zh_HK", 128},
      {"zh_MO", 128},
      {"en_US.UTF-8", 0},
      {"C", 0},
      {"POSIX", 0},
      {"xx_YY", 0},
      {"sv_SE", 0},
      // The name's encoding is ignored: texts stay UTF-8.
      {"de_DE.ISO-8859-1", 112},
      {"ru_RU.KOI8-R", 124},
      {"de_DE@euro", 112},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    BoostSystemLocale locale(catalog_, c.locale);
    for (const std::string& id : Updater::AllMessageIds()) {
      std::string expected = c.catalog == 0 ? id : EmbeddedCatalog(c.catalog)[id];
      ASSERT_EQ(locale.Translate(id), expected);
    }
  }
}

TEST_F(BoostSystemLocaleTest, TakesTheLanguageFromTheEnvironment) {
  const struct {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    std::string name;
  } cases[] = {
      {"fr_FR.UTF-8", "de_DE", "it_IT", "fr_FR.UTF-8"},
      {"", "de_DE", "it_IT", "de_DE"},
      {nullptr, nullptr, "it_IT", "it_IT"},
      {nullptr, nullptr, nullptr, "C"},
  };
  for (const auto& c : cases) {
    auto set = [](const char* name, const char* value) {
      value == nullptr ? unsetenv(name) : setenv(name, value, 1);
    };
    set("LC_ALL", c.lc_all);
    set("LC_MESSAGES", c.lc_messages);
    set("LANG", c.lang);
    EXPECT_EQ(UserLocaleName(), c.name);
  }
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  BoostSystemLocale locale(catalog_);
  EXPECT_EQ(locale.Translate(time_text::kCalculating), "Verbleibende Zeit wird berechnet");
  unsetenv("LC_ALL");
}

// Names from the environment that the locale backend crashed on, and other names that are
// not a plain language: English texts, never a crash. Plain names still choose their
// catalog.
TEST_F(BoostSystemLocaleTest, NamesThatAreNotAPlainLanguageReadAsEnglish) {
  const struct {
    const char* variable;
    std::string value;
    uint16_t catalog;  // 0: English
  } cases[] = {
      {"LANG", "xxxxxxxxxxxx", 0},
      {"LANG", "xxxxxxxxxxxx.UTF-8", 0},
      {"LANG", std::string(100000, 'd'), 0},
      {"LC_ALL", "d\xc3\xa9_DE.UTF-8", 0},
      {"LC_ALL", "de_DE.UTF-8\xff", 0},
      {"LC_ALL", "\xe6\x97\xa5\xe6\x9c\xac", 0},
      {"LANG", "", 0},
      {"LANG", "C", 0},
      {"LANG", "POSIX", 0},
      {"LANG", "C.UTF-8", 0},
      {"LANG", "de_DEU", 0},
      {"LANG", "de_DE.", 0},
      {"LANG", "de_DE." + std::string(33, 'u'), 0},
      {"LANG", "de/../../x", 0},
      {"LC_ALL", "de", 112},
      {"LANG", "es_419.UTF-8", 115},
      {"LANG", "pt_BR.utf8@x-y_z", 122},
      {"LC_ALL", "ZH_tw", 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 40));
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    setenv(c.variable, c.value.c_str(), 1);
    BoostSystemLocale locale(catalog_);
    for (const std::string& id : Updater::AllMessageIds()) {
      const std::string expected = c.catalog == 0 ? id : EmbeddedCatalog(c.catalog)[id];
      ASSERT_EQ(locale.Translate(id), expected);
    }
    EXPECT_FALSE(locale.FormatTimeRemaining(7265).empty());
  }
  unsetenv("LC_ALL");
  unsetenv("LANG");
}

TEST_F(BoostSystemLocaleTest, FormatsTheTimeRemaining) {
  BoostSystemLocale english(catalog_, "en_US.UTF-8");
  const struct {
    int32_t seconds;
    const char* text;
  } cases[] = {
      {-1, "Calculating time remaining"},
      {45, "45 seconds remaining"},
      {1, "1 second remaining"},
      {0, "0 seconds remaining"},
      {-100, "0 seconds remaining"},
      {60, "1 minute remaining"},
      {61, "2 minutes remaining"},
      {3540, "1 hour remaining"},
      {3600, "1 hour, 1 minute remaining"},
      {3700, "1 hour, 2 minutes remaining"},
      {7140, "2 hours remaining"},
      {7200, "2 hours, 1 minute remaining"},
      {7265, "2 hours, 2 minutes remaining"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(english.FormatTimeRemaining(c.seconds), c.text) << c.seconds;
  }

  BoostSystemLocale german(catalog_, "de_DE.UTF-8");
  EXPECT_EQ(german.FormatTimeRemaining(7265), "Noch 2 Stunden, 2 Minuten");
  EXPECT_EQ(german.FormatTimeRemaining(45), "Noch 45 Sekunden");
  BoostSystemLocale japanese(catalog_, "ja_JP");
  EXPECT_EQ(japanese.FormatTimeRemaining(61), "残り 2 分");
  EXPECT_EQ(german.TranslateFormat(Updater::kWindowTitle, "Orvask"), "Orvask Downloader");
}

TEST(EmbeddedMessageCatalogTest, MapsLanguageFoldersToResources) {
  static const unsigned char kFirst[] = {1, 2, 3};
  static const unsigned char kSecond[] = {4};
  ModuleResources module({}, {{"MO", 111, kFirst, 3}, {"MO", 112, kSecond, 1}}, {}, {});
  EmbeddedMessageCatalog catalog(module, "updater");
  EXPECT_EQ(catalog.MakeCatalogPath("cs"), "/cs/LC_MESSAGES/updater.mo");
  catalog.AddLanguage("cs", 111);
  catalog.AddLanguage("cs", 112);  // the first mapping stays
  catalog.AddLanguage("de", 113);  // no such resource
  EXPECT_EQ(catalog.LoadFile("/cs/LC_MESSAGES/updater.mo", "UTF-8"), std::vector<char>({1, 2, 3}));
  EXPECT_TRUE(catalog.LoadFile("/de/LC_MESSAGES/updater.mo", "UTF-8").empty());
  EXPECT_TRUE(catalog.LoadFile("/CS/LC_MESSAGES/updater.mo", "UTF-8").empty());
  EXPECT_TRUE(catalog.LoadFile("cs/LC_MESSAGES/updater.mo", "UTF-8").empty());
}

}  // namespace
}  // namespace zarn
