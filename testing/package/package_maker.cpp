#include "testing/package/package_maker.h"

#include <Poco/URI.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "storage/crc32.h"
#include "testing/http_test_server.h"

namespace zarn {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Element(const char* name, const std::string& text) {
  return std::string("<") + name + ">" + Escape(text) + "</" + name + ">";
}

std::string Hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The path as a client's URL carries it.
std::string Encoded(const std::string& path) {
  std::string out;
  Poco::URI::encode(path, "?#", out);
  return out;
}

}  // namespace

std::vector<std::uint32_t> ChunkChecksums(const std::string& bytes, std::uint32_t chunkSize) {
  if (chunkSize == 0) throw std::invalid_argument("chunk size 0");
  std::vector<std::uint32_t> checksums;
  for (std::size_t begin = 0; begin < bytes.size(); begin += chunkSize) {
    const std::size_t length = std::min<std::size_t>(chunkSize, bytes.size() - begin);
    checksums.push_back(Crc32(bytes.data() + begin, length));
  }
  return checksums;
}

std::string MakePackageManifestXml(const PackageDescription& package) {
  if (package.chunkSize == 0) throw std::invalid_argument("chunk size 0");
  const bool runFound =
      package.run.empty() ||
      std::any_of(package.files.begin(), package.files.end(),
                  [&](const PackageFileContent& file) { return file.path == package.run; });
  if (!runFound) throw std::invalid_argument("run file " + package.run + " is not in the package");

  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<package>\n"
      << "  " << Element("id", package.packageId) << "\n"
      << "  " << Element("name", package.name) << "\n"
      << "  " << Element("partnerId", package.partnerId) << "\n"
      << "  " << Element("versionId", package.versionId) << "\n";
  if (!package.run.empty()) xml << "  " << Element("run", package.run) << "\n";
  xml << "  <files>\n";
  for (const PackageFileContent& file : package.files) {
    if (file.bytes.empty()) throw std::invalid_argument("empty file " + file.path);
    std::string checksums;
    for (std::uint32_t crc : ChunkChecksums(file.bytes, package.chunkSize)) checksums += Hex8(crc);
    xml << "    <file>" << Element("path", file.path)
        << Element("chunksize", std::to_string(package.chunkSize))
        << Element("size", std::to_string(file.bytes.size())) << Element("checksums", checksums)
        << "</file>\n";
  }
  xml << "  </files>\n</package>\n";
  return xml.str();
}

std::string MakeNodeListXml(const std::vector<std::string>& hosts) {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      << "<ArrayOfNodeInfo xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\n";
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    xml << "  <NodeInfo>" << Element("NodeId", "node" + std::to_string(i + 1))
        << Element("Host", hosts[i]) << "</NodeInfo>\n";
  }
  xml << "</ArrayOfNodeInfo>\n";
  return xml.str();
}

std::string PackageManifestPath(const std::string& packageId, const std::string& versionId) {
  return "/manifests/" + packageId + "/" + versionId + ".xml";
}

std::string CurrentPackageManifestPath(const std::string& packageId) {
  return "/manifests/" + packageId + "/current.xml";
}

std::string NodeListPath(const std::string& partnerId) { return "/nodes/" + partnerId + ".xml"; }

std::string PackageFilePath(const PackageDescription& package, const std::string& path) {
  return "/packages/" + package.partnerId + "/" + package.packageId + "/" + package.versionId +
         "/" + path;
}

std::vector<std::pair<std::string, std::string>> MakePackageLayout(
    const PackageDescription& package, const std::vector<std::string>& nodeHosts, bool current) {
  std::vector<std::pair<std::string, std::string>> layout;
  const std::string manifest = MakePackageManifestXml(package);
  layout.emplace_back(PackageManifestPath(package.packageId, package.versionId), manifest);
  if (current) layout.emplace_back(CurrentPackageManifestPath(package.packageId), manifest);
  if (!nodeHosts.empty()) {
    layout.emplace_back(NodeListPath(package.partnerId), MakeNodeListXml(nodeHosts));
  }
  for (const PackageFileContent& file : package.files) {
    layout.emplace_back(PackageFilePath(package, file.path), file.bytes);
  }
  return layout;
}

void WritePackageLayout(const PackageDescription& package,
                        const std::vector<std::string>& nodeHosts, const std::string& root,
                        bool current) {
  for (const auto& entry : MakePackageLayout(package, nodeHosts, current)) {
    const std::filesystem::path target = std::filesystem::path(root) / entry.first.substr(1);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(entry.second.data(), static_cast<std::streamsize>(entry.second.size()));
    if (!out) throw std::runtime_error("cannot write " + target.string());
  }
}

void ServePackage(const PackageDescription& package, HttpTestServer& manifestHost,
                  const std::vector<HttpTestServer*>& nodes, bool current) {
  std::vector<std::string> hosts;
  for (const HttpTestServer* node : nodes) hosts.push_back(node->Host());
  const std::string manifest = MakePackageManifestXml(package);
  manifestHost.ServeFile(Encoded(PackageManifestPath(package.packageId, package.versionId)),
                         manifest);
  if (current) {
    manifestHost.ServeFile(Encoded(CurrentPackageManifestPath(package.packageId)), manifest);
  }
  manifestHost.ServeFile(Encoded(NodeListPath(package.partnerId)), MakeNodeListXml(hosts));
  for (HttpTestServer* node : nodes) {
    for (const PackageFileContent& file : package.files) {
      node->ServeFile(Encoded(PackageFilePath(package, file.path)), file.bytes);
    }
  }
}

std::vector<PackageFileContent> ReadPackageFolder(const std::string& folder) {
  std::vector<PackageFileContent> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    // One read into a string of the file's size: benchmark packages hold GiBs.
    std::ifstream in(entry.path(), std::ios::binary);
    std::string bytes(static_cast<std::size_t>(entry.file_size()), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in) throw std::runtime_error("cannot read " + entry.path().string());
    files.push_back({entry.path().lexically_relative(folder).generic_string(), std::move(bytes)});
  }
  std::sort(
      files.begin(), files.end(),
      [](const PackageFileContent& a, const PackageFileContent& b) { return a.path < b.path; });
  return files;
}

}  // namespace zarn
