#ifndef ZARN_UPDATER_E2E_E2E_FIXTURE_H_
#define ZARN_UPDATER_E2E_E2E_FIXTURE_H_

// A whole updater run against local nginx nodes: the two packages made with the package
// maker, a string table pointing at the local manifest host, and a downloader that records
// what it received.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "storage/testing/test_folder.h"
#include "testing/nginx_server.h"
#include "testing/package/package_maker.h"
#include "updater/e2e/deadline.h"
#include "updater/module_resources.h"

namespace zarn {

constexpr char kPackagePartner[] = "5c1e7a93b04d28f6a9e3d172";
constexpr char kSkinPartner[] = "8f2b4d06e91a73c5b8d04e6f";
constexpr char kShortcutName[] = "3a9d6e0c7b15f842e06a9c3d";
constexpr char kSkinPackage[] = "b7e40f1a2c6d95e83f1b0a47";
constexpr char kDownloaderPackage[] = "e05c3b8a71f2d496c0e8b25a";

inline std::u16string Utf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

class UpdaterRunTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TMPDIR", (folder_ / "tmp").c_str(), 1);
    setenv("LC_ALL", "C", 1);
    std::filesystem::create_directories(folder_ / "tmp");
    std::filesystem::create_directories(folder_ / "markers");
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    unsetenv("LC_ALL");
  }

  // A downloader that writes its arguments and folder below markers/ and prints them.
  std::string DownloaderScript(const std::string& extra = "") const {
    return "#!/bin/sh\n"
           "m='" +
           folder_.path() +
           "/markers'\n"
           "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$m/argv\"\n"
           "pwd > \"$m/cwd\"\n"
           "echo \"downloader received: $*\"\n" +
           extra;
  }

  // Lays out both packages below www/ with `nodes` as their node list.
  void MakePackages(const std::vector<std::string>& nodes, const std::string& extra = "") {
    std::mt19937 random(7);
    data_.resize(3 << 20);
    for (char& c : data_) c = static_cast<char>(random());
    PackageDescription downloader;
    downloader.partnerId = kPackagePartner;
    downloader.packageId = kDownloaderPackage;
    downloader.versionId = "2.0";
    downloader.chunkSize = 64 << 10;
    downloader.run = "Downloader.exe";
    downloader.files = {{"Downloader.exe", DownloaderScript(extra)}, {"data/game.pak", data_}};
    WritePackageLayout(downloader, nodes, folder_ / "www");
    PackageDescription skin;
    skin.partnerId = kSkinPartner;
    skin.packageId = kSkinPackage;
    skin.versionId = "5";
    skin.chunkSize = 64 << 10;
    skin.run = "skin.xml";
    skin.files = {{"skin.xml", "<skin/>"}, {"images/back.png", std::string(100000, 'x')}};
    WritePackageLayout(skin, nodes, folder_ / "www");
  }

  // The program's resources with `manifest_host` as string 102.
  ModuleResources Module(const std::string& manifest_host) {
    strings_ = {
        Utf16(manifest_host), Utf16(kPackagePartner),    Utf16(kSkinPartner), Utf16(kShortcutName),
        Utf16(kSkinPackage),  Utf16(kDownloaderPackage), u"Orvask",           u"Orvask"};
    std::vector<ModuleResources::String> table;
    for (uint16_t id = 102; id <= 109; ++id) table.push_back({id, strings_[id - 102].c_str()});
    return ModuleResources(table, EmbeddedCatalogs(), {ProgressDialogTemplate()},
                           {{kProgramIconId, ProgramIcon()}});
  }

  // nginx over www/: the manifest host first, then three nodes that send 64 KiB a second
  // per connection, slow enough for the progress to be seen. Without sendfile, which would
  // send a whole chunk at once before the limit applies.
  static NginxServer::Options ServerOptions() {
    NginxServer::Options options;
    options.ports = 4;
    options.sendfile = false;
    options.limitRate = "64k";
    options.firstLimitedPort = 1;
    return options;
  }

  std::string DataFolder() const { return folder_ / "tmp/Corvane Technologies/Skelmir"; }

  Deadline deadline_{std::chrono::seconds(120)};  // first: it also bounds the teardown
  TestFolder folder_;
  std::string data_;
  std::vector<std::u16string> strings_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_E2E_E2E_FIXTURE_H_
