#include "updater/updater_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "updater/module_resources.h"

namespace zarn {
namespace {

ModuleResources MakeModule(std::vector<ModuleResources::String> strings) {
  return ModuleResources(std::move(strings), {}, {}, {});
}

struct CommandLineCase {
  std::vector<std::string> argv;
  uint32_t log;
  std::string packageVersion;
  std::string skinVersion;
};

TEST(UpdaterSettingsTest, ReadsTheCommandLine) {
  const uint32_t d = kDefaultLogMask;
  const CommandLineCase cases[] = {
      {{"updater", "log=3"}, 3, "?", "?"},
      {{"updater", "log=-9"}, 0xFFFFFFF7u, "?", "?"},
      {{"updater", "log=-1"}, 0xFFFFFFFFu, "?", "?"},
      {{"updater", "log= +7"}, 7, "?", "?"},
      {{"updater", "log=12abc"}, 12, "?", "?"},
      {{"updater", "log=4294967295"}, 0xFFFFFFFFu, "?", "?"},
      // A value that cannot be read stops the reading: later switches are not seen.
      {{"updater", "skinVersion=2", "log=abc", "packageVersion=1"}, d, "?", "2"},
      {{"updater", "log=4294967296", "packageVersion=1"}, d, "?", "?"},
      {{"updater", "log=-4294967296", "packageVersion=1"}, d, "?", "?"},
      {{"updater", "log=", "packageVersion=1"}, d, "?", "?"},
      // Prefixes must start the argument and are case-sensitive.
      {{"updater", "/packageVersion=1", "PackageVersion=2", " log=3"}, d, "?", "?"},
      {{"updater", "packageVersion="}, d, "", "?"},
      {{"updater", "packageVersion=1.0", "skinVersion=7", "packageVersion=2.0"}, d, "2.0", "7"},
      {{"updater", "log=3", "log=5"}, 5, "?", "?"},
      // argv[0] is read as a switch too.
      {{"log=5"}, 5, "?", "?"},
      {{}, d, "?", "?"},
  };
  for (const CommandLineCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.argv));
    UpdaterSettings settings;
    ParseCommandLine(&settings, c.argv);
    EXPECT_EQ(settings.exePath, c.argv.empty() ? "" : c.argv[0]);
    EXPECT_EQ(settings.log, c.log);
    EXPECT_EQ(settings.packageVersion, c.packageVersion);
    EXPECT_EQ(settings.skinVersion, c.skinVersion);
  }
}

TEST(UpdaterSettingsTest, LoadResourceStringCutsAndConverts) {
  std::u16string long_text(300, u'x');
  ModuleResources module =
      MakeModule({{1, long_text.c_str()}, {2, u"Orv\u00e5sk \u6e38\u620f"}, {3, u""}});
  EXPECT_EQ(LoadResourceString(module, 1), std::string(254, 'x'));
  EXPECT_EQ(LoadResourceString(module, 2), "Orv\u00e5sk \u6e38\u620f");
  EXPECT_EQ(LoadResourceString(module, 3), "");
  EXPECT_EQ(LoadResourceString(module, 4), "");
}

TEST(UpdaterSettingsTest, BuildsFoldersFromTheStringTable) {
  ModuleResources module = MakeModule({{103, u"partner"},
                                       {104, u"skinpartner"},
                                       {105, u"downloader"},
                                       {106, u"skinpkg"},
                                       {107, u"pkg"},
                                       {108, u"Orvask"},
                                       {109, u"OrvaskDir"}});
  std::string temp = testing::TempDir();
  setenv("TMPDIR", temp.c_str(), 1);
  UpdaterSettings settings(module, {"/opt/updater", "skinVersion=4"});
  unsetenv("TMPDIR");

  EXPECT_EQ(settings.exePath, "/opt/updater");
  EXPECT_EQ(settings.manifestHostOverride, "");
  EXPECT_EQ(settings.packagePartnerId, "partner");
  EXPECT_EQ(settings.skinPartnerId, "skinpartner");
  EXPECT_EQ(settings.downloaderPackage, "downloader");
  EXPECT_EQ(settings.packageId, "pkg");
  EXPECT_EQ(settings.gameName, "Orvask");
  EXPECT_EQ(settings.gameFolder, "OrvaskDir");
  EXPECT_EQ(settings.skinFolder, "skinpkg");
  EXPECT_EQ(settings.skinVersion, "4");
  std::string base = temp.back() == '/' ? temp : temp + "/";
  EXPECT_EQ(settings.dataFolder, base + "Corvane Technologies/Skelmir");
  EXPECT_EQ(settings.skinPath, base + "Corvane Technologies/Skelmir/skinpkg");
}

TEST(UpdaterSettingsTest, EmbeddedStringTableHasTheShippedGameName) {
  const ModuleResources& module = ModuleResources::Embedded();
  EXPECT_EQ(LoadResourceString(module, 108), "Orvask");
  EXPECT_EQ(LoadResourceString(module, 109), "Orvask");
  for (uint16_t id : {103, 104, 105, 106, 107}) {
    EXPECT_EQ(LoadResourceString(module, id).size(), 24u) << id;
  }
}

}  // namespace
}  // namespace zarn
