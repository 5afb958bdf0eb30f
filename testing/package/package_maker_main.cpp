// Lays out a test package from a folder as the manifest host and the content nodes serve
// it, below an output folder that a web server can serve as its root:
//
//   package_maker --folder DIR --out ROOT --partner P --package K --version V
//                 [--name N] [--run PATH] [--chunk-size BYTES] [--node HOST[:PORT]]...
//                 [--not-current]

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "testing/package/package_maker.h"

namespace {

int Usage() {
  std::cerr << "usage: package_maker --folder DIR --out ROOT --partner P --package K "
               "--version V [--name N] [--run PATH] [--chunk-size BYTES] "
               "[--node HOST[:PORT]]... [--not-current]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  zarn::PackageDescription package;
  std::string folder;
  std::string out;
  std::vector<std::string> nodes;
  bool current = true;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--not-current") {
      current = false;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (flag == "--folder") {
      folder = value;
    } else if (flag == "--out") {
      out = value;
    } else if (flag == "--partner") {
      package.partnerId = value;
    } else if (flag == "--package") {
      package.packageId = value;
    } else if (flag == "--version") {
      package.versionId = value;
    } else if (flag == "--name") {
      package.name = value;
    } else if (flag == "--run") {
      package.run = value;
    } else if (flag == "--chunk-size") {
      char* end = nullptr;
      const unsigned long size = std::strtoul(value.c_str(), &end, 10);
      if (*end != '\0' || size == 0 || size > 0xFFFFFFFFul) return Usage();
      package.chunkSize = static_cast<std::uint32_t>(size);
    } else if (flag == "--node") {
      nodes.push_back(value);
    } else {
      return Usage();
    }
  }
  if (folder.empty() || out.empty() || package.partnerId.empty() || package.packageId.empty() ||
      package.versionId.empty()) {
    return Usage();
  }
  try {
    package.files = zarn::ReadPackageFolder(folder);
    zarn::WritePackageLayout(package, nodes, out, current);
  } catch (const std::exception& e) {
    std::cerr << "package_maker: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
