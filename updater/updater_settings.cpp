#include "updater/updater_settings.h"

#include <boost/algorithm/string/predicate.hpp>
#include <cctype>
#include <stdexcept>

#include "storage/path_helpers.h"
#include "storage/text_conversion.h"
#include "updater/module_resources.h"

namespace zarn {

namespace {

constexpr char kProductFolder[] = "Corvane Technologies/Skelmir";
constexpr char kUnset[] = "?";
constexpr int kStringBufferUnits = 255;

}  // namespace

UpdaterSettings::UpdaterSettings()
    : productFolder(kProductFolder),
      skinVersion(kUnset),
      packageVersion(kUnset),
      log(kDefaultLogMask) {}

UpdaterSettings::UpdaterSettings(const ModuleResources& module,
                                 const std::vector<std::string>& arguments)
    : UpdaterSettings() {
  manifestHostOverride = LoadResourceString(module, 102);
  packagePartnerId = LoadResourceString(module, 103);
  skinPartnerId = LoadResourceString(module, 104);
  gameName = LoadResourceString(module, 108);
  gameFolder = LoadResourceString(module, 109);
  packageId = LoadResourceString(module, 107);
  dataFolder = ResolvePath(GetTempFolder(), productFolder);
  skinFolder = LoadResourceString(module, 106);
  skinPath = ResolvePath(dataFolder, skinFolder);
  downloaderPackage = LoadResourceString(module, 105);
  ParseCommandLine(this, arguments);
}

std::string LoadResourceString(const ModuleResources& module, uint16_t id) {
  char16_t buffer[kStringBufferUnits];
  int n = module.LoadString(id, buffer, kStringBufferUnits);
  if (n <= 0 || n >= kStringBufferUnits) return "";
  try {
    return WideToUtf8(std::wstring(buffer, buffer + n));
  } catch (const std::exception&) {
    return "";
  }
}

uint32_t ParseLogMask(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::size_t first_digit = i;
  uint64_t magnitude = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    if (magnitude > 0xFFFFFFFFull) throw std::out_of_range("ParseLogMask: value too large");
  }
  if (i == first_digit) throw std::invalid_argument("ParseLogMask: no digits");
  uint32_t value = static_cast<uint32_t>(magnitude);
  return negative ? static_cast<uint32_t>(0u - value) : value;
}

void ParseCommandLine(UpdaterSettings* settings, const std::vector<std::string>& arguments) {
  if (arguments.empty()) return;
  settings->exePath = arguments[0];
  static const std::string kPackageVersion = "packageVersion=";
  static const std::string kSkinVersion = "skinVersion=";
  static const std::string kLog = "log=";
  try {
    for (const std::string& argument : arguments) {
      if (boost::algorithm::starts_with(argument, kPackageVersion)) {
        settings->packageVersion = argument.substr(kPackageVersion.size());
      } else if (boost::algorithm::starts_with(argument, kSkinVersion)) {
        settings->skinVersion = argument.substr(kSkinVersion.size());
      } else if (boost::algorithm::starts_with(argument, kLog)) {
        settings->log = ParseLogMask(argument.substr(kLog.size()));
      }
    }
  } catch (const std::exception&) {
    // The rest of the command line is not read.
  }
}

}  // namespace zarn
