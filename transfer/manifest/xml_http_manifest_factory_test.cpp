#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "http/round_robin_http_session_factory.h"
#include "testing/http_test_server.h"
#include "testing/loopback_port.h"
#include "transfer/manifest/manifest_exception.h"
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

std::string PackageXml(const std::string& id, const std::string& version) {
  return "<?xml version=\"1.0\"?>\n<package>\n  <id>" + id +
         "</id>\n  <name>N</name>\n  <partnerId>P</partnerId>\n  <versionId>" + version +
         "</versionId>\n  <files>\n    <file><path>a</path><chunksize>4</chunksize>"
         "<size>4</size><checksums>00000000</checksums></file>\n  </files>\n</package>\n";
}

// Stream is the one transient kind (the manifest works retry it as a network error); the
// others are final manifest errors.
enum class Outcome { Accepted, Locator, Stream, Parse };

Outcome Classify(const std::function<void()>& fetch) {
  try {
    fetch();
    return Outcome::Accepted;
  } catch (const ManifestLocatorException&) {
    return Outcome::Locator;
  } catch (const ManifestStreamException&) {
    return Outcome::Stream;
  } catch (const ManifestParseException&) {
    return Outcome::Parse;
  }
}

class XmlHttpManifestFactoryTest : public ::testing::Test {
 protected:
  XmlHttpPackageManifestFactory PackageFactory(const std::string& host) {
    return XmlHttpPackageManifestFactory(host, &requests_, 5, 30);
  }

  DirectProxyFactory proxies_;
  CurlHttpRequestFactory requests_{&proxies_};
  HttpTestServer server_;
};

TEST_F(XmlHttpManifestFactoryTest, BuildsUrlsWithLiteralIdentifiers) {
  XmlHttpPackageManifestFactory packages("manifests.example:8080", &requests_, 5, 30);
  XmlHttpNodeListManifestFactory nodes("manifests.example", &requests_, 5, 30);
  const std::pair<std::string, std::string> cases[] = {
      {"PKG", "http://manifests.example:8080/manifests/PKG/current.xml"},
      {"PKG/1.2", "http://manifests.example:8080/manifests/PKG/1.2.xml"},
      {"PKG/1.2/extra", "http://manifests.example:8080/manifests/PKG/1.2/extra.xml"},
      {"a b/v+1", "http://manifests.example:8080/manifests/a%20b/v+1.xml"},
      {"p?q#f/100%", "http://manifests.example:8080/manifests/p%3Fq%23f/100%25.xml"},
      {"c:d/%41", "http://manifests.example:8080/manifests/c:d/%2541.xml"},
  };
  for (const auto& c : cases) EXPECT_EQ(packages.GetUrl(c.first), c.second) << c.first;
  EXPECT_EQ(nodes.GetUrl("PARTNER"), "http://manifests.example/nodes/PARTNER.xml");
  EXPECT_EQ(nodes.GetUrl("a?b"), "http://manifests.example/nodes/a%3Fb.xml");

  XmlHttpPackageManifestFactory badPort("host:99999", &requests_, 5, 30);
  EXPECT_THROW(badPort.GetUrl("PKG"), ManifestLocatorException);
  XmlHttpNodeListManifestFactory badNodePort("host:0x", &requests_, 5, 30);
  EXPECT_THROW(badNodePort.GetUrl("P"), ManifestLocatorException);
}

TEST_F(XmlHttpManifestFactoryTest, FetchesPackagesAndChecksTheirIdentity) {
  server_.ServeFile("/manifests/PKG/current.xml", PackageXml("PKG", "7"));
  server_.ServeFile("/manifests/PKG/7.xml", PackageXml("PKG", "7"));
  server_.ServeFile("/manifests/PKG/8.xml", PackageXml("PKG", "7"));
  server_.ServeFile("/manifests/OTHER/current.xml", PackageXml("PKG", "7"));
  server_.ServeFile("/manifests/Pkg/current.xml", PackageXml("PKG", "7"));
  server_.ServeFile("/manifests/EMPTY/current.xml", "");
  server_.ServeFile("/manifests/BROKEN/current.xml", "<package><id>BROKEN</id>");
  server_.ServeFile("/manifests/INVALID/current.xml", "<package><id>INVALID</id></package>");
  HttpTestResponse unavailable;
  unavailable.status = 503;
  server_.Serve("/manifests/BUSY/current.xml", unavailable);
  auto factory = PackageFactory(server_.Host());

  const std::pair<std::string, Outcome> cases[] = {
      {"PKG", Outcome::Accepted},     // no version: any version is accepted
      {"PKG/7", Outcome::Accepted},   // the version asked for
      {"PKG/8", Outcome::Locator},    // another version than asked for
      {"OTHER", Outcome::Locator},    // another package
      {"Pkg", Outcome::Locator},      // ids compare exactly
      {"MISSING", Outcome::Locator},  // 404
      {"BUSY", Outcome::Stream},      // 503: transient
      {"EMPTY", Outcome::Parse},      // 200 with an empty body
      {"BROKEN", Outcome::Parse},     // malformed XML
      {"INVALID", Outcome::Parse},    // well-formed, not a valid package
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    std::shared_ptr<PackageManifest> package;
    EXPECT_EQ(Classify([&] { package = factory.GetPackageManifest(c.first); }), c.second);
    if (c.second == Outcome::Accepted) {
      EXPECT_EQ(package->GetId(), "PKG");
      EXPECT_EQ(package->GetVersionId(), "7");
    }
  }
}

TEST_F(XmlHttpManifestFactoryTest, FailuresCarryTheRequestMessage) {
  HttpTestResponse unavailable;
  unavailable.status = 503;
  server_.Serve("/manifests/BUSY/current.xml", unavailable);
  auto factory = PackageFactory(server_.Host());
  try {
    factory.GetPackageManifest("NOPE");
    FAIL();
  } catch (const ManifestLocatorException& e) {
    EXPECT_NE(std::string(e.what()).find("404"), std::string::npos) << e.what();
  }
  try {
    factory.GetPackageManifest("BUSY");
    FAIL();
  } catch (const ManifestStreamException& e) {
    EXPECT_NE(std::string(e.what()).find("503"), std::string::npos) << e.what();
  }
  const RefusingPort closed;
  auto refused = PackageFactory("127.0.0.1:" + std::to_string(closed.Port()));
  try {
    refused.GetPackageManifest("PKG");
    FAIL();
  } catch (const ManifestStreamException& e) {
    EXPECT_STRNE(e.what(), "");
  }
}

TEST_F(XmlHttpManifestFactoryTest, RequestsTheRightPaths) {
  server_.Handle("/", [](const HttpTestRequest&) { return HttpTestResponse(); });
  auto factory = PackageFactory(server_.Host());
  XmlHttpNodeListManifestFactory nodes(server_.Host(), &requests_, 5, 30);
  for (const char* id : {"p?q#r", "PKG/1.0", "100%/v"}) {
    EXPECT_THROW(factory.GetPackageManifest(id), ManifestException);
  }
  EXPECT_THROW(nodes.GetNodeList("PART NER"), ManifestException);
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].target, "/manifests/p%3Fq%23r/current.xml");
  EXPECT_EQ(requests[1].target, "/manifests/PKG/1.0.xml");
  EXPECT_EQ(requests[2].target, "/manifests/100%25/v.xml");
  EXPECT_EQ(requests[3].target, "/nodes/PART%20NER.xml");
  for (const auto& request : requests) EXPECT_EQ(request.method, "GET");
}

TEST_F(XmlHttpManifestFactoryTest, FetchesNodeListsWithAPooledSession) {
  server_.ServeFile("/nodes/PARTNER.xml",
                    "<ArrayOfNodeInfo xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
                    "<NodeInfo><NodeId>n1</NodeId><Host>h1:81</Host></NodeInfo>"
                    "<NodeInfo><NodeId>n2</NodeId><Host>h2</Host></NodeInfo>"
                    "</ArrayOfNodeInfo>");
  server_.ServeFile("/nodes/EMPTY.xml", "<ArrayOfNodeInfo/>");
  XmlHttpNodeListManifestFactory factory(server_.Host(), &requests_, 5, 30);
  RoundRobinHttpSessionFactory sessions;
  const auto session = sessions.Create();

  const auto list = factory.GetNodeList("PARTNER", session);
  ASSERT_EQ(list->GetNodes().size(), 2u);
  EXPECT_EQ(list->GetNodes()[0]->GetHost(), "h1:81");
  EXPECT_EQ(list->GetNodes()[1]->GetNodeId(), "n2");
  EXPECT_EQ(factory.GetNodeList("PARTNER", session)->GetNodes().size(), 2u);
  EXPECT_EQ(server_.ConnectionCount(), 1);  // the pooled request kept its connection

  EXPECT_EQ(Classify([&] { factory.GetNodeList("EMPTY"); }), Outcome::Parse);
  EXPECT_EQ(Classify([&] { factory.GetNodeList("MISSING"); }), Outcome::Locator);
}

}  // namespace
}  // namespace zarn
