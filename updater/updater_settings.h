#ifndef ZARN_UPDATER_UPDATER_SETTINGS_H_
#define ZARN_UPDATER_UPDATER_SETTINGS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

class ModuleResources;

// The default work-log mask (-9 as a signed mask); the downloader gets " /log " only when
// the mask differs from it.
constexpr uint32_t kDefaultLogMask = 0xFFFFFFF7u;

// The program's fixed identities from its string table and the three switches of its
// command line. All strings are UTF-8. A plain record, copied into the dialog.
struct UpdaterSettings {
  // Every string empty, productFolder set, both versions "?", the default log mask.
  UpdaterSettings();
  // Reads the string table of `module` and the command line `arguments` (argv, argv[0]
  // included; empty when there is none).
  UpdaterSettings(const ModuleResources& module, const std::vector<std::string>& arguments);

  std::string exePath;
  std::string manifestHostOverride;
  std::string packagePartnerId;
  std::string skinPartnerId;
  std::string productFolder;
  std::string gameName;
  std::string gameFolder;
  std::string packageId;
  std::string dataFolder;
  std::string skinFolder;
  std::string skinVersion;
  std::string skinPath;
  std::string downloaderPackage;
  std::string packageVersion;
  uint32_t log;
};

// String `id` of the table as UTF-8, cut to 254 UTF-16 units as the 255-unit buffer of the
// lookup allows; "" when it is missing, empty, or not convertible.
std::string LoadResourceString(const ModuleResources& module, uint16_t id);

// Fills exePath and the switches "packageVersion=", "skinVersion=" and "log=" from
// `arguments`, argv[0] included. A "log=" value that cannot be read stops the reading; what
// was read before it stays.
void ParseCommandLine(UpdaterSettings* settings, const std::vector<std::string>& arguments);

// A "log=" value: leading white space, an optional sign, decimal digits up to the first
// other character; '-' negates modulo 2^32. Throws std::invalid_argument without digits and
// std::out_of_range beyond 4294967295.
uint32_t ParseLogMask(const std::string& text);

}  // namespace zarn

#endif  // ZARN_UPDATER_UPDATER_SETTINGS_H_
