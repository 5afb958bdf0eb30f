#include "testing/package/package_maker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/http_request.h"
#include "http/http_request_params.h"
#include "http/http_stringstream_writer.h"
#include "testing/http_test_server.h"
#include "transfer/manifest/file_manifest.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/manifest/xml_http_node_list_manifest_factory.h"
#include "transfer/manifest/xml_http_package_manifest_factory.h"

namespace zarn {
namespace {

class DirectProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
};

std::string Fetch(HttpRequestFactory& requests, const std::string& url) {
  std::stringstream body;
  HttpStringstreamWriter writer(&body);
  HttpRequestParams params(url, &writer);
  const auto request = requests.CreateUnpooled(params);
  EXPECT_EQ(request->Perform().result, HttpRequestResult::Succeeded) << url;
  return body.str();
}

PackageDescription SamplePackage() {
  PackageDescription package;
  package.partnerId = "PARTNER";
  package.packageId = "PKG";
  package.versionId = "1.0";
  package.chunkSize = 4;
  package.run = "bin/run & go.exe";
  package.files = {{"bin/run & go.exe", "123456789"}, {"data/a.pak", "abcd"}};
  return package;
}

TEST(PackageMakerTest, ChecksumsAreTheChunksCrc32) {
  EXPECT_EQ(ChunkChecksums("123456789", 9), std::vector<uint32_t>{0xCBF43926u});
  // 4 + 4 + 1 bytes: the last chunk is short.
  EXPECT_EQ(ChunkChecksums("123456789", 4),
            (std::vector<uint32_t>{0x9be3e0a3u, 0x7e525607u, 0x8d076785u}));
}

TEST(PackageMakerTest, ServedPackageReadsBackThroughTheFactories) {
  const PackageDescription package = SamplePackage();
  HttpTestServer manifests;
  HttpTestServer node1;
  HttpTestServer node2;
  ServePackage(package, manifests, {&node1, &node2});
  DirectProxyFactory proxies;
  CurlHttpRequestFactory requests(&proxies);

  XmlHttpPackageManifestFactory packages(manifests.Host(), &requests, 5, 30);
  for (const char* id : {"PKG", "PKG/1.0"}) {
    const auto read = packages.GetPackageManifest(id);
    EXPECT_EQ(read->GetVersionId(), "1.0");
    ASSERT_EQ(read->GetFiles().size(), 2u);
    const auto& run = read->GetRunFile();
    ASSERT_TRUE(run);
    EXPECT_EQ(run->GetPath(), "bin/run & go.exe");
    EXPECT_EQ(run->GetSize(), 9u);
    EXPECT_EQ(run->GetChecksums(), ChunkChecksums("123456789", 4));
    EXPECT_EQ(read->GetOtherFiles()[0]->GetChecksums(), ChunkChecksums("abcd", 4));
  }
  XmlHttpNodeListManifestFactory nodes(manifests.Host(), &requests, 5, 30);
  const auto list = nodes.GetNodeList("PARTNER");
  ASSERT_EQ(list->GetNodes().size(), 2u);
  EXPECT_EQ(list->GetNodes()[0]->GetNodeId(), "node1");
  EXPECT_EQ(list->GetNodes()[1]->GetHost(), node2.Host());

  // Each node serves the files below the package's folder, percent-encoded as clients ask.
  for (HttpTestServer* node : {&node1, &node2}) {
    EXPECT_EQ(Fetch(requests, node->Url("/packages/PARTNER/PKG/1.0/bin/run%20&%20go.exe")),
              "123456789");
    EXPECT_EQ(Fetch(requests, node->Url("/packages/PARTNER/PKG/1.0/data/a.pak")), "abcd");
  }
}

TEST(PackageMakerTest, RefusesWhatNoManifestCanHold) {
  PackageDescription package = SamplePackage();
  package.run = "missing.exe";
  EXPECT_THROW(MakePackageManifestXml(package), std::invalid_argument);
  package = SamplePackage();
  package.files.push_back({"empty", ""});
  EXPECT_THROW(MakePackageManifestXml(package), std::invalid_argument);
  package = SamplePackage();
  package.chunkSize = 0;
  EXPECT_THROW(MakePackageManifestXml(package), std::invalid_argument);
}

class PackageMakerFolderTest : public ::testing::Test {
 protected:
  PackageMakerFolderTest() {
    const char* tmp = std::getenv("TMPDIR");
    root_ = std::filesystem::path(tmp ? tmp : "/tmp") /
            ("package_maker_test_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "in" / "bin");
    Write(root_ / "in" / "bin" / "run.exe", "runnable");
    Write(root_ / "in" / "z.dat", "zz");
  }
  ~PackageMakerFolderTest() override { std::filesystem::remove_all(root_); }

  static void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path root_;
};

TEST_F(PackageMakerFolderTest, ToolLaysOutTheFolder) {
  const std::string command = std::string(PACKAGE_MAKER_TOOL) + " --folder " +
                              (root_ / "in").string() + " --out " + (root_ / "out").string() +
                              " --partner P --package K --version 2 --run bin/run.exe"
                              " --chunk-size 3 --node 127.0.0.1:1 --node 127.0.0.1:2";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const auto out = root_ / "out";
  EXPECT_EQ(Read(out / "packages/P/K/2/bin/run.exe"), "runnable");
  EXPECT_EQ(Read(out / "packages/P/K/2/z.dat"), "zz");
  const std::string manifest = Read(out / "manifests/K/2.xml");
  EXPECT_EQ(Read(out / "manifests/K/current.xml"), manifest);
  EXPECT_NE(manifest.find("<run>bin/run.exe</run>"), std::string::npos);
  EXPECT_NE(manifest.find("<chunksize>3</chunksize><size>8</size>"), std::string::npos);
  EXPECT_NE(Read(out / "nodes/P.xml").find("<Host>127.0.0.1:2</Host>"), std::string::npos);

  const auto files = ReadPackageFolder((root_ / "in").string());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path, "bin/run.exe");
  EXPECT_EQ(files[1].bytes, "zz");

  const std::string missingRun = std::string(PACKAGE_MAKER_TOOL) + " --folder " +
                                 (root_ / "in").string() + " --out " + (root_ / "bad").string() +
                                 " --partner P --package K --version 2 --run nope 2>/dev/null";
  EXPECT_NE(std::system(missingRun.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(root_ / "bad" / "manifests"));

  const auto layout = MakePackageLayout(SamplePackage(), {}, false);
  ASSERT_EQ(layout.size(), 3u);  // no current manifest, no node list without hosts
  EXPECT_EQ(layout[0].first, "/manifests/PKG/1.0.xml");
  EXPECT_EQ(layout[1].first, "/packages/PARTNER/PKG/1.0/bin/run & go.exe");
}

}  // namespace
}  // namespace zarn
