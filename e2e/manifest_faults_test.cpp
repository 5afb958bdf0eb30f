// A manifest host that is down, slow, or serves malformed, truncated or hostile documents:
// the transfer stops with a manifest error (or, for a host that cannot be reached, a
// network error) while initialising, writes nothing, and never hangs. The documents are
// read on the engine's pool threads, as in production: a crash there ends the test run.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "testing/deepest_nesting.h"
#include "transfer/manifest/http_manifest_source.h"
#include "transfer/manifest/standard_node_list_manifest.h"
#include "transfer/manifest/standard_package_manifest.h"
#include "transfer/manifest/xml_manifest_tree.h"
#include "transfer/transfer_config.h"

namespace zarn {
namespace e2e {
namespace {

// A package manifest of the fixture's ids whose <files> holds the given elements.
std::string ManifestWithFiles(const std::string& files, const std::string& run = "") {
  std::string xml =
      "<?xml version=\"1.0\"?><package><id>PKG1</id><name>x</name>"
      "<partnerId>PARTNER1</partnerId><versionId>1.0</versionId>";
  if (!run.empty()) xml += "<run>" + run + "</run>";
  return xml + "<files>" + files + "</files></package>";
}

std::string FileElement(const std::string& path, const std::string& chunkSize,
                        const std::string& size, const std::string& checksums) {
  return "<file><path>" + path + "</path><chunksize>" + chunkSize + "</chunksize><size>" + size +
         "</size><checksums>" + checksums + "</checksums></file>";
}

// A package nested depth deep, after `prefix` (markup that may hide close tags).
std::string Nested(std::size_t depth, const std::string& prefix = "") {
  std::string xml;
  xml.reserve(prefix.size() + depth * 7 + 64);
  xml += "<?xml version=\"1.0\"?>" + prefix + "<package>";
  for (std::size_t i = 0; i < depth; ++i) xml += "<a>";
  for (std::size_t i = 0; i < depth; ++i) xml += "</a>";
  return xml + "</package>";
}

std::string Repeated(const std::string& piece, std::size_t count) {
  std::string text;
  text.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// `files` files whose paths each name 2 046 folders of their own, in 4 094 bytes.
std::string FilesOfDeepestPaths(int files) {
  std::string xml;
  for (int i = 0; i < files; ++i) {
    xml += FileElement(std::to_string(10 + i) + "/" + Repeated("a/", 2045) + "f", "4", "4",
                       std::string(8, '0'));
  }
  return xml;
}

// A package whose root element carries one attribute named by `segments` dotted segments.
std::string DottedAttribute(std::size_t segments) {
  return "<package " + Repeated("a.", segments - 1) + "a=\"1\"><id>PKG1</id></package>";
}

// A package of 1-byte chunks, split between two files, that holds `chunks` in all.
std::string ManifestOfChunks(std::uint32_t chunks) {
  const std::uint32_t first = chunks / 2;
  const std::uint32_t second = chunks - first;
  return ManifestWithFiles(
      FileElement("a.bin", "1", std::to_string(first), std::string(8 * std::size_t{first}, '0')) +
      FileElement("b.bin", "1", std::to_string(second), std::string(8 * std::size_t{second}, '0')));
}

// A node list of the given hosts.
std::string NodeList(const std::vector<std::string>& hosts) {
  std::string xml = "<ArrayOfNodeInfo>";
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    xml += "<NodeInfo><NodeId>n" + std::to_string(i) + "</NodeId><Host>" + hosts[i] +
           "</Host></NodeInfo>";
  }
  return xml + "</ArrayOfNodeInfo>";
}

// A good node beside one with the given host: one bad host refuses the whole list.
std::string NodeListWithHost(const std::string& host) {
  return NodeList({"node.example:8080", host});
}

struct Case {
  const char* name;
  std::string packageXml;   // "" : the fixture's real manifest
  std::string nodeListXml;  // "" : the fixture's real node list
  TransferError error;
  bool retryable;
  // The package manifest is a body past the bound, its server stalling for good right
  // after the bound: only a fetch cut off while it is received ends in time.
  bool bodyPastTheBound = false;
  // The document nests this deep, past what some builds can read.
  std::size_t depth = 0;
};

// Test names and messages show the case by its name.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ManifestFaultsTest : public EndToEndTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ManifestFaultsTest, StopsWithAManifestErrorAndWritesNothing) {
  const Case& c = GetParam();
  if (c.depth > kDeepestNestingReadHere) GTEST_SKIP() << "nested too deep for this build";
  AddTestNode();
  Publish();
  if (!c.packageXml.empty()) {
    manifests_.ServeFile(PackageManifestPath(package_.packageId, package_.versionId), c.packageXml);
  }
  if (!c.nodeListXml.empty()) {
    manifests_.ServeFile(NodeListPath(package_.partnerId), c.nodeListXml);
  }
  if (c.bodyPastTheBound) {
    // Time enough to receive the bound even in a sanitizer build: a fetch that waited for
    // the whole body would end at this time-out with a network error.
    TransferConfig config = TestEngine::FastConfig(manifests_.Host(), work_.RelativeToTemp());
    config.manifestTimeout = 60;
    engine_ = std::make_unique<TestEngine>(config);
    HttpTestResponse endless;
    endless.body = "<package>" + std::string(kMaxManifestBytes, ' ');
    endless.stallAtByte = kMaxManifestBytes + 1;
    endless.stallFor = HttpTestResponse::kForever;
    manifests_.Serve(PackageManifestPath(package_.packageId, package_.versionId), endless);
  }
  const TransferStatus status = Run();
  EXPECT_TRUE(TestEngine::HasStopped(status)) << DescribeStatus(status);
  EXPECT_EQ(status.state, TransferState::Initializing) << DescribeStatus(status);
  EXPECT_EQ(status.error, c.error) << DescribeStatus(status);
  EXPECT_EQ(status.retryable != 0, c.retryable) << DescribeStatus(status);
  EXPECT_EQ(servers_.front()->RequestCount(), 0u) << "a chunk was requested";
  EXPECT_TRUE(std::filesystem::is_empty(dest_.Path()));
  EXPECT_FALSE(
      std::filesystem::exists(std::filesystem::path(dest_.Path()).parent_path() / "escape.bin"));
}

const std::string kGoodChecksum = "00000000";

const Case kCases[] = {
    {"Malformed", "<package><id>PKG1</id", "", TransferError::Manifest, false},
    {"NotXml", std::string("\x00\xff\xfe garbage", 12), "", TransferError::Manifest, false},
    {"Empty", " ", "", TransferError::Manifest, false},
    // An empty package is a valid document that the file works refuse.
    {"NoFiles", ManifestWithFiles(""), "", TransferError::Internal, false},
    {"ParentSegment", ManifestWithFiles(FileElement("../escape.bin", "4", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"DeepParentSegment",
     ManifestWithFiles(FileElement("data/../../escape.bin", "4", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"BackslashParent",
     ManifestWithFiles(FileElement("data\\..\\..\\escape.bin", "4", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"AbsolutePath", ManifestWithFiles(FileElement("/tmp/escape.bin", "4", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"RunFileOutside",
     ManifestWithFiles(FileElement("a.bin", "4", "4", kGoodChecksum), "../escape.bin"), "",
     TransferError::Manifest, false},
    {"ChunkSizeZero", ManifestWithFiles(FileElement("a.bin", "0", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"ChunkSizeOver32Bits",
     ManifestWithFiles(FileElement("a.bin", "4294967296", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"NegativeSize", ManifestWithFiles(FileElement("a.bin", "4", "-4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"SizeOver64Bits",
     ManifestWithFiles(FileElement("a.bin", "4", "18446744073709551616", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"ChunkCountOverflows",
     ManifestWithFiles(FileElement("a.bin", "4294967295", "18446744073709551615", kGoodChecksum)),
     "", TransferError::Manifest, false},
    {"TooFewChecksums", ManifestWithFiles(FileElement("a.bin", "4", "4000000000", kGoodChecksum)),
     "", TransferError::Manifest, false},
    {"ChunksPastTheBound", ManifestOfChunks(kMaxPackageChunks + 1), "", TransferError::Manifest,
     false},
    {"DeepNesting", Nested(200000), "", TransferError::Manifest, false, false, 200000},
    {"OtherPackage",
     "<package><id>OTHER</id><name>x</name><partnerId>PARTNER1</partnerId>"
     "<versionId>1.0</versionId><files>" +
         FileElement("a.bin", "4", "4", kGoodChecksum) + "</files></package>",
     "", TransferError::Manifest, false},
    {"EmptyNodeList", "", "<ArrayOfNodeInfo/>", TransferError::Manifest, false},
    {"NodeWithoutHost", "",
     "<ArrayOfNodeInfo><NodeInfo><NodeId>n</NodeId></NodeInfo>"
     "</ArrayOfNodeInfo>",
     TransferError::Manifest, false},
    {"NodeListDeepNesting", "", Nested(200000), TransferError::Manifest, false, false, 200000},
    // Markup that holds close tags hides no nesting from the depth bound.
    {"InstructionHidingCloseTags", Nested(50000, "<?pi > " + Repeated("</a>", 50000) + " ?>"), "",
     TransferError::Manifest, false, false, 50000},
    {"DoctypeHidingCloseTags",
     Nested(50000, "<!DOCTYPE package [ " + Repeated("</a>", 50000) + " ]>"), "",
     TransferError::Manifest, false, false, 50000},
    {"StrayCloseTags", Nested(50000, Repeated("</a>", 50000)), "", TransferError::Manifest, false,
     false, 50000},
    {"DottedAttributeName", DottedAttribute(100000), "", TransferError::Manifest, false},
    {"TooManyElements", ManifestWithFiles(Repeated("<a/>", kMaxXmlNodes)), "",
     TransferError::Manifest, false},
    {"NodeListOfTooManyElements", "",
     "<ArrayOfNodeInfo>" + Repeated("<a/>", kMaxXmlNodes) + "</ArrayOfNodeInfo>",
     TransferError::Manifest, false},
    {"BodyPastTheBound", "", "", TransferError::Manifest, false, true},
    // Two entries, one file on disk.
    {"NulInPath",
     ManifestWithFiles(FileElement("data/one.bin", "4", "4", kGoodChecksum) +
                       FileElement("data/one.bin&#0;", "4", "4", kGoodChecksum)),
     "", TransferError::Manifest, false},
    {"ControlCharacterInPath",
     ManifestWithFiles(FileElement("data/a&#27;b.bin", "4", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    // Paths no file system holds: each byte would be in every work-log line of the file's
    // chunks (bytes above 0x7F as six), each '/' a folder.
    {"PathOfHundredsOfKilobytes",
     ManifestWithFiles(FileElement(Repeated(Repeated("\xc3\xa9", 127) + "/", 1200) + "a.bin", "4",
                                   "4", kGoodChecksum)),
     "", TransferError::Manifest, false},
    {"PathOfAHundredThousandFolders",
     ManifestWithFiles(FileElement(Repeated("a/", 100000) + "a.bin", "4", "4", kGoodChecksum)), "",
     TransferError::Manifest, false},
    {"PathsOfTooManyFolders", ManifestWithFiles(FilesOfDeepestPaths(65)), "",
     TransferError::Manifest, false},
    {"SamePathOnceNormalised",
     ManifestWithFiles(FileElement("data/a.bin", "4", "4", kGoodChecksum) +
                       FileElement("data//a.bin", "4", "4", kGoodChecksum)),
     "", TransferError::Manifest, false},
    // A host that would change where a chunk request goes or what it sends.
    {"HostWithPath", "", NodeListWithHost("host/evil?x="), TransferError::Manifest, false},
    {"HostWithCredentials", "", NodeListWithHost("user:pw@host"), TransferError::Manifest, false},
    {"HostWithFragment", "", NodeListWithHost("host#"), TransferError::Manifest, false},
    {"HostWithBlanks", "", NodeListWithHost(" host "), TransferError::Manifest, false},
    {"HostWithScheme", "", NodeListWithHost("http://host"), TransferError::Manifest, false},
    {"HostPortZero", "", NodeListWithHost("host:0"), TransferError::Manifest, false},
    {"HostPortTooLarge", "", NodeListWithHost("host:65536"), TransferError::Manifest, false},
    {"HostOctalAddress", "", NodeListWithHost("010.0.0.1"), TransferError::Manifest, false},
    {"HostIpv6WithoutBrackets", "", NodeListWithHost("::1"), TransferError::Manifest, false},
    {"TooManyNodes", "", NodeList(std::vector<std::string>(kMaxNodes + 1, "node.example")),
     TransferError::Manifest, false},
};

INSTANTIATE_TEST_SUITE_P(Documents, ManifestFaultsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// Replaces every `from` in text by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// A server written against the property tree's XML reader may send what that reader takes:
// comments before the declaration and holding "--", a declaration without a version,
// undeclared entities, values in CDATA. Both documents are read as it reads them and the
// package downloads.
TEST_F(EndToEndTest, DocumentsInEveryFormTheReaderTakesDownload) {
  AddTestNode();
  AddTestNode();
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
  std::string package = MakePackageManifestXml(package_);
  package = ReplaceAll(package, declaration,
                       "<!-- generated -- do not edit -->\n<?xml encoding=\"utf-8\" "
                       "standalone=\"true\"?>");
  package = ReplaceAll(package, "<checksums>", "<checksums><![CDATA[");
  package = ReplaceAll(package, "</checksums>", "]]></checksums><note>&nbsp;&copy;]]></note>");
  std::string nodes = MakeNodeListXml(hosts_);
  nodes = ReplaceAll(nodes, declaration, "\n<!-- ------ -->\n" + declaration);
  nodes = ReplaceAll(nodes, "<NodeInfo>", "<NodeInfo><!-- -- -->");
  manifests_.ServeFile(PackageManifestPath(package_.packageId, package_.versionId), package);
  manifests_.ServeFile(NodeListPath(package_.partnerId), nodes);
  ExpectComplete(Run());
}

// The fixture's real manifest, cut short at several places.
TEST_F(EndToEndTest, TruncatedManifestsStopWithAManifestError) {
  AddTestNode();
  Publish();
  const std::string whole = MakePackageManifestXml(package_);
  for (std::size_t length : {whole.size() / 4, whole.size() / 2, whole.size() - 12}) {
    SCOPED_TRACE(length);
    manifests_.ServeFile(PackageManifestPath(package_.packageId, package_.versionId),
                         whole.substr(0, length));
    const TransferStatus status = Run();
    EXPECT_EQ(status.state, TransferState::Initializing) << DescribeStatus(status);
    EXPECT_EQ(status.error, TransferError::Manifest) << DescribeStatus(status);
  }
  EXPECT_EQ(servers_.front()->RequestCount(), 0u);
}

TEST_F(EndToEndTest, ManifestHostDownSilentOrTricklingStopsInTime) {
  AddTestNode();
  Publish();
  HttpTestResponse silent;
  silent.stallBeforeHeaders = HttpTestResponse::kForever;
  manifests_.Serve(PackageManifestPath(package_.packageId, package_.versionId), silent);
  const TransferStatus slow = Run();
  EXPECT_EQ(slow.state, TransferState::Initializing) << DescribeStatus(slow);
  EXPECT_NE(slow.error, TransferError::None) << DescribeStatus(slow);
  EXPECT_TRUE(slow.retryable);

  HttpTestResponse trickle;
  trickle.body = MakePackageManifestXml(package_);
  trickle.bytesPerSecond = 20;
  manifests_.Serve(PackageManifestPath(package_.packageId, package_.versionId), trickle);
  const TransferStatus trickling = Run();
  EXPECT_EQ(trickling.state, TransferState::Initializing) << DescribeStatus(trickling);
  EXPECT_NE(trickling.error, TransferError::None) << DescribeStatus(trickling);

  manifests_.Stop();
  const TransferStatus down = Run();
  EXPECT_EQ(down.state, TransferState::Initializing) << DescribeStatus(down);
  EXPECT_NE(down.error, TransferError::None) << DescribeStatus(down);
  EXPECT_TRUE(down.retryable);
  EXPECT_EQ(servers_.front()->RequestCount(), 0u);
}

// A valid manifest at the package's chunk bound: the work tree is built for every chunk at
// initialisation. It initialises in bounded time and cancels cleanly; one chunk more is
// refused (ManifestFaultsTest).
TEST_F(EndToEndTest, ManifestAtTheChunkBoundInitialisesAndCancels) {
  AddTestNode();
  Publish();
  manifests_.ServeFile(PackageManifestPath(package_.packageId, package_.versionId),
                       ManifestOfChunks(kMaxPackageChunks));
  transfer_ = Engine().Create(package_.partnerId, package_.packageId, package_.versionId);
  ASSERT_TRUE(transfer_);
  const TransferStatus status = TestEngine::WaitFor(
      *transfer_,
      [](const TransferStatus& s) {
        return s.state == TransferState::Initialized || TestEngine::HasStopped(s);
      },
      kCaseTimeout);
  EXPECT_EQ(status.state, TransferState::Initialized) << DescribeStatus(status);
  EXPECT_EQ(status.totalBytes, kMaxPackageChunks);
  EXPECT_EQ(transfer_->Cancel(true).state, TransferState::Canceled);
  EXPECT_EQ(servers_.front()->RequestCount(), 0u);
}

// A file far larger than the disk passes the manifest's checks; allocating it fails with
// DiskFull, and no file of that size is left behind.
TEST_F(EndToEndTest, FileLargerThanTheDiskStopsWithDiskFull) {
  AddTestNode();
  Publish();
  const std::uint64_t size = 1ull << 44;  // 16 TiB in chunks of 4 GiB - 1: 4 097 chunks
  const std::uint64_t chunk = 4294967295ull;
  const std::uint64_t chunks = (size + chunk - 1) / chunk;
  manifests_.ServeFile(
      PackageManifestPath(package_.packageId, package_.versionId),
      ManifestWithFiles(FileElement("huge.bin", std::to_string(chunk), std::to_string(size),
                                    std::string(chunks * 8, '0'))));
  const TransferStatus status = Run();
  EXPECT_EQ(status.error, TransferError::DiskFull) << DescribeStatus(status);
  EXPECT_NE(status.state, TransferState::Completed);
  const std::string left = dest_.Path() + "/huge.bin";
  if (std::filesystem::exists(left)) {
    EXPECT_EQ(std::filesystem::file_size(left), 0u);
  }
  EXPECT_EQ(servers_.front()->RequestCount(), 0u);
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
