#include "transfer/optimizer/optimized_request_params.h"

#include <Poco/URI.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "transfer/manifest/manifest_path.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"

namespace zarn {
namespace {

std::shared_ptr<TransferSharedMapData> Chunk(const std::string& path, uint64_t lower,
                                             uint64_t upper) {
  return TransferSharedMapData::Create(TransferSharedFileData::Create(path, upper + 1), lower,
                                       upper, 0, nullptr);
}

TransferParams Transfer(const std::string& partner, const std::string& package,
                        const std::string& version) {
  TransferParams params;
  params.partnerId = partner;
  params.packageId = package;
  params.versionId = version;
  return params;
}

TEST(OptimizedRequestParamsTest, UrlsEncodeEveryIdentifierAndPathSegmentLiterally) {
  struct Case {
    std::string host, partner, package, version, path, url, decodedPath;
  };
  const Case cases[] = {
      {"h", "p", "pkg", "1.0", "dir/file.bin", "http://h/packages/p/pkg/1.0/dir/file.bin",
       "/packages/p/pkg/1.0/dir/file.bin"},
      {"h:8080", "p", "pkg", "1.0", "f", "http://h:8080/packages/p/pkg/1.0/f",
       "/packages/p/pkg/1.0/f"},
      {"h", "p", "pkg", "1.0", "100%.txt", "http://h/packages/p/pkg/1.0/100%25.txt",
       "/packages/p/pkg/1.0/100%.txt"},
      {"h", "p", "pkg", "1.0", "what?.txt", "http://h/packages/p/pkg/1.0/what%3F.txt",
       "/packages/p/pkg/1.0/what?.txt"},
      {"h", "p", "pkg", "1.0", "a#b.txt", "http://h/packages/p/pkg/1.0/a%23b.txt",
       "/packages/p/pkg/1.0/a#b.txt"},
      {"h", "a:b", "pkg", "1.0", "c:/x", "http://h/packages/a%3Ab/pkg/1.0/c%3A/x",
       "/packages/a:b/pkg/1.0/c:/x"},
      {"h", "p", "my pkg", "1.0", "a b/\xc3\xa9.txt",
       "http://h/packages/p/my%20pkg/1.0/a%20b/%C3%A9.txt",
       "/packages/p/my pkg/1.0/a b/\xc3\xa9.txt"},
      {"h", "p", "pkg", "1.0", "a%41b.txt", "http://h/packages/p/pkg/1.0/a%2541b.txt",
       "/packages/p/pkg/1.0/a%41b.txt"},
      // Identifiers of dots stay segments of their own rather than steps up or in place.
      {"h", "p", "pkg", "..", "f", "http://h/packages/p/pkg/%2E%2E/f", "/packages/p/pkg/../f"},
      {"h", ".", "..", "...", "f", "http://h/packages/%2E/%2E%2E/%2E%2E%2E/f",
       "/packages/./../.../f"},
      {"h", "p", "..pkg", "1.", "..x/f", "http://h/packages/p/..pkg/1./..x/f",
       "/packages/p/..pkg/1./..x/f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    OptimizedRequestParams params(tree_test::MakeNodeList({c.host}),
                                  Transfer(c.partner, c.package, c.version), Chunk(c.path, 0, 9));
    params.SelectedNode = params.candidates.front();
    const std::string url = params.ToUrl();
    EXPECT_EQ(url, c.url);
    const Poco::URI parsed(url);  // a valid URL with the node's authority
    EXPECT_EQ(parsed.getAuthority(), c.host);
    EXPECT_EQ(parsed.getPath(), c.decodedPath);
    EXPECT_EQ(parsed.getQuery(), "");
    EXPECT_EQ(parsed.getFragment(), "");
  }
}

std::string Repeated(const std::string& piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// libcurl refuses a request whose head passes 1 MB before sending it (result 27, read as
// out of memory). The longest chunk URL stays far below: the longest host a node list
// holds, identifiers as long as the application's strings and a package's version may be,
// and the longest path a manifest may name, every byte of them but the '/' encoded as three.
TEST(OptimizedRequestParamsTest, TheLongestUrlIsFarBelowWhatARequestHolds) {
  const std::string e = "\xc3\xa9";
  const std::string path =
      NormalizeManifestPath(Repeated(Repeated(e, 127) + "/", 16) + Repeated(e, 8));
  ASSERT_EQ(path.size(), 4096u);
  const std::string host = Repeated(std::string(63, 'h') + ".", 3) + std::string(61, 'h');
  ASSERT_EQ(host.size(), 253u);
  // The most an application string holds: 254 UTF-16 units, each of 3 bytes here.
  const std::string identifier = Repeated("\xe2\x82\xac", 254);
  const std::string version = Repeated(e, 128);
  OptimizedRequestParams params(tree_test::MakeNodeList({host + ":65535"}),
                                Transfer(identifier, identifier, version), Chunk(path, 0, 9));
  params.SelectedNode = params.candidates.front();
  const std::string url = params.ToUrl();
  EXPECT_EQ(Poco::URI(url).getPath(),
            "/packages/" + identifier + "/" + identifier + "/" + version + "/" + path);
  EXPECT_GT(url.size(), 3u * (4096 - 16));
  EXPECT_LT(url.size(), 20u * 1024);
}

TEST(OptimizedRequestParamsTest, UrlNeedsASelectedNode) {
  OptimizedRequestParams params(tree_test::MakeNodeList({"h"}), Transfer("p", "k", "v"),
                                Chunk("f", 0, 9));
  try {
    params.ToUrl();
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(),
                 "OptimizedRequestParams::ToUrl invoked with no SelectedNode or no ChunkData");
  }
}

TEST(OptimizedRequestParamsTest, RequestCarriesTheRangeAndTheFourLimits) {
  OptimizedRequestParams params(tree_test::MakeNodeList({"h"}), Transfer("p", "k", "v"),
                                Chunk("f", 4294967296ull, 4294967296ull + 1048575));
  params.SelectedNode = params.candidates.front();
  params.connectTimeout = 3;
  params.totalTimeout = 2340;
  params.lowSpeedLimit = 448;
  params.lowSpeedTime = 5;
  EXPECT_EQ(params.ChunkLength(), 1048576u);  // from the low 32 bits of the bounds
  const HttpRequestParams request = params.BuildRequest(nullptr);
  EXPECT_EQ(request.url, "http://h/packages/p/k/v/f");
  EXPECT_EQ(request.rangeBegin, 4294967296ull);
  EXPECT_EQ(request.rangeEnd, 4294967296ull + 1048575);
  EXPECT_EQ(request.connectTimeout, 3u);
  EXPECT_EQ(request.timeout, 2340u);
  EXPECT_EQ(request.lowSpeedLimit, 448);
  EXPECT_EQ(request.lowSpeedTime, 5);
  EXPECT_EQ(request.method, 0u);
}

TEST(OptimizedRequestParamsTest, DroppingNodesRefillsTheCandidatesWhenNoneIsLeft) {
  OptimizedRequestParams params(tree_test::MakeNodeList({"a", "b"}), Transfer("p", "k", "v"),
                                Chunk("f", 0, 9));
  const auto nodes = params.nodeList->GetNodes();
  params.SelectedNode = nodes[0];
  params.DropSelectedNode();
  ASSERT_EQ(params.candidates.size(), 1u);
  EXPECT_EQ(params.candidates[0], nodes[1]);
  params.SelectedNode = nodes[1];
  params.DropSelectedNode();
  EXPECT_EQ(params.candidates, nodes);  // the failed one included
  EXPECT_EQ(params.SelectedNode, nodes[1]);
}

TEST(OptimizedRequestParamsTest, MinNodeErrorCountLooksAtEveryNodeOfTheList) {
  OptimizedRequestParams params(tree_test::MakeNodeList({"a", "b", "c"}), Transfer("p", "k", "v"),
                                Chunk("f", 0, 9));
  const auto nodes = params.nodeList->GetNodes();
  EXPECT_EQ(params.GetMinNodeErrorCount(), 0u);
  for (int i = 0; i < 3; ++i) nodes[0]->GetStatistics().Record(0, 1, true);
  nodes[1]->GetStatistics().Record(0, 1, true);
  nodes[1]->GetStatistics().Record(0, 1, true);
  nodes[2]->GetStatistics().Record(0, 1, true);
  params.candidates = {nodes[0]};  // only the node list counts, not the candidates
  EXPECT_EQ(params.GetMinNodeErrorCount(), 1u);
}

}  // namespace
}  // namespace zarn
