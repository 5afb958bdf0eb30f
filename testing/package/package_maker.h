#ifndef ZARN_TESTING_PACKAGE_PACKAGE_MAKER_H_
#define ZARN_TESTING_PACKAGE_PACKAGE_MAKER_H_

// Makes test packages as the manifest host and the content nodes serve them: the package
// manifest (every file cut into chunks with one CRC-32 each), the node list, and the files
// under "packages/<partner>/<package>/<version>/". For tests, benchmarks and the demo only.
//
//   PackageDescription package;
//   package.partnerId = "PARTNER"; package.packageId = "PKG"; package.versionId = "1.0";
//   package.chunkSize = 4096;
//   package.run = "bin/run.exe";
//   package.files = {{"bin/run.exe", runBytes}, {"data/a.pak", dataBytes}};
//   ServePackage(package, manifestServer, {&node1, &node2});   // in-process servers
//   WritePackageLayout(package, {"127.0.0.1:8081"}, root);      // or files for nginx

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zarn {

class HttpTestServer;

// One file of a package: its path below the package folder ('/' separators) and its bytes.
struct PackageFileContent {
  std::string path;
  std::string bytes;
};

struct PackageDescription {
  std::string partnerId;
  std::string packageId;
  std::string versionId;
  std::string name = "Test package";
  std::string run;  // the run file's path; empty for none
  std::uint32_t chunkSize = 1 << 20;
  std::vector<PackageFileContent> files;  // in manifest order
};

// The package manifest document. Throws std::invalid_argument for a chunk size of 0, an
// empty file, or a run path that names no file.
std::string MakePackageManifestXml(const PackageDescription& package);

// The node list document, one node per host ("host[:port]"), with the ids "node1", ...
std::string MakeNodeListXml(const std::vector<std::string>& hosts);

// The CRC-32 of every chunk of bytes, as the manifest lists them.
std::vector<std::uint32_t> ChunkChecksums(const std::string& bytes, std::uint32_t chunkSize);

// The paths the documents and files are served at.
std::string PackageManifestPath(const std::string& packageId, const std::string& versionId);
std::string CurrentPackageManifestPath(const std::string& packageId);
std::string NodeListPath(const std::string& partnerId);
std::string PackageFilePath(const PackageDescription& package, const std::string& path);

// Every document and file of the package with the path it is served at: the manifest
// under its version (and as the current one when current is set), the node list for
// nodeHosts (none when there are no hosts), and each file.
std::vector<std::pair<std::string, std::string>> MakePackageLayout(
    const PackageDescription& package, const std::vector<std::string>& nodeHosts,
    bool current = true);

// Writes MakePackageLayout below root (folders made as needed).
void WritePackageLayout(const PackageDescription& package,
                        const std::vector<std::string>& nodeHosts, const std::string& root,
                        bool current = true);

// Serves the manifests on manifestHost and the files on every node, with the nodes'
// hosts as the node list.
void ServePackage(const PackageDescription& package, HttpTestServer& manifestHost,
                  const std::vector<HttpTestServer*>& nodes, bool current = true);

// The regular files below folder, in sorted path order, as package files.
std::vector<PackageFileContent> ReadPackageFolder(const std::string& folder);

}  // namespace zarn

#endif  // ZARN_TESTING_PACKAGE_PACKAGE_MAKER_H_
