// Faulty content nodes beside healthy ones, and nodes that all fail: every case ends with
// every file verified or with the right error, never with a corrupt file counted as done.

#include <Poco/URI.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"

namespace zarn {
namespace e2e {
namespace {

enum class Node {
  Nginx,          // healthy, real files
  Good,           // healthy test server
  Closed,         // listed, but nothing listens
  Reset,          // closes the connection half-way through every chunk
  Corrupt,        // inverts every byte of the second file
  CorruptChunk,   // inverts a few bytes of one chunk of the second file
  NotFound,       // 404
  ServerError,    // 500
  Trickle,        // 64 bytes per second, below the low-speed limit
  LongBody,       // sends 1000 bytes more than the range asks
  ShortBody,      // sends 1000 bytes fewer than the range asks
  NoRanges,       // ignores the range: 200 with the whole file
  RedirectToFtp,  // answers every chunk with a redirect to ftp:// on a listening port
  HugeHeader,     // a header line of 200 KiB before the right body
};

struct Case {
  const char* name;
  std::vector<Node> nodes;
  bool completes;
  TransferError error;  // when it does not complete; None: any error
  int retries;          // user retries allowed for a retryable error
};

// Test names and messages show the case by its name.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class NodeFaultsTest : public EndToEndTest, public ::testing::WithParamInterface<Case> {
 protected:
  void AddNode(Node kind) {
    HttpTestResponse shape;
    const std::size_t secondFileChunk = package_.chunkSize;  // chunk 1 of the second file
    switch (kind) {
      case Node::Nginx:
        AddNginxNode();
        return;
      case Node::Good:
        break;
      case Node::Closed:
        AddClosedNode();
        return;
      case Node::Reset:
        shape.dropAfterBytes = package_.chunkSize / 2;
        break;
      case Node::Corrupt:
      case Node::CorruptChunk:
        AddTestNode();
        // Only the second file goes wrong.
        {
          const PackageFileContent& file = package_.files[1];
          HttpTestResponse corrupt;
          corrupt.body = file.bytes;
          corrupt.corruptAt = kind == Node::Corrupt ? 0 : secondFileChunk + 100;
          corrupt.corruptLength = kind == Node::Corrupt ? file.bytes.size() : 3;
          servers_.back()->Serve(PackageFilePath(package_, file.path), corrupt);
        }
        return;
      case Node::NotFound:
        shape.status = 404;
        shape.ranges = false;
        break;
      case Node::ServerError:
        shape.status = 500;
        shape.ranges = false;
        break;
      case Node::Trickle:
        shape.bytesPerSecond = 64;
        break;
      case Node::LongBody:
        shape.rangeLengthDelta = 1000;
        break;
      case Node::ShortBody:
        shape.rangeLengthDelta = -1000;
        break;
      case Node::NoRanges:
        shape.ranges = false;
        break;
      case Node::RedirectToFtp:
        ftpTarget_ = std::make_unique<HttpTestServer>();
        shape = HttpTestResponse::Redirect("ftp://127.0.0.1:" + std::to_string(ftpTarget_->Port()) +
                                           "/chunk");
        break;
      case Node::HugeHeader:
        shape.headers = {{"X-Padding", std::string(200 * 1024, 'p')}};
        break;
    }
    AddTestNode(shape);
  }

  // Where the RedirectToFtp node points: nothing may ever connect to it.
  std::unique_ptr<HttpTestServer> ftpTarget_;
};

TEST_P(NodeFaultsTest, EndsVerifiedOrWithTheRightError) {
  const Case& c = GetParam();
  try {
    for (Node node : c.nodes) AddNode(node);
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  Publish();
  TransferStatus status = RetryWhileRetryable(Run(), c.retries);
  // Every node is tried before the optimizer has figures for it: each fault was met.
  for (const auto& server : servers_) EXPECT_GT(server->RequestCount(), 0u);
  if (c.completes) {
    ExpectComplete(status);
  } else {
    ExpectFailed(status, c.error, /*retryable=*/true);
  }
  if (ftpTarget_) {
    EXPECT_EQ(ftpTarget_->ConnectionCount(), 0);
  }
}

// Errors of a node failure are Network; a chunk that never verifies is Checksum. Both are
// retryable: the transfer waits for a retry and keeps what it has verified.
const Case kCases[] = {
    {"Healthy", {Node::Nginx, Node::Nginx, Node::Good}, true, TransferError::None, 0},
    {"NodeDownFromTheStart", {Node::Closed, Node::Nginx}, true, TransferError::None, 0},
    {"ConnectionsResetMidChunk", {Node::Reset, Node::Nginx}, true, TransferError::None, 0},
    {"NotFoundAndServerError",
     {Node::NotFound, Node::ServerError, Node::Nginx},
     true,
     TransferError::None,
     0},
    {"TrickleBelowLowSpeedLimit", {Node::Trickle, Node::Nginx}, true, TransferError::None, 0},
    {"BodyLongerThanRange", {Node::LongBody, Node::Nginx}, true, TransferError::None, 0},
    {"NodeIgnoresRanges", {Node::NoRanges, Node::Nginx}, true, TransferError::None, 0},
    {"NodeRedirectsToFtp", {Node::RedirectToFtp, Node::Good}, true, TransferError::None, 0},
    {"NodeSendsAHugeHeader", {Node::HugeHeader, Node::Good}, true, TransferError::None, 0},
    {"BodyShorterThanRange", {Node::ShortBody, Node::Nginx}, true, TransferError::None, 0},
    // A chunk whose bytes failed verification is fetched again from another node: it
    // completes without a user's retry.
    {"CorruptBytesFromOneNode",
     {Node::Corrupt, Node::Nginx, Node::Nginx, Node::Good},
     true,
     TransferError::None,
     0},
    {"EveryNodeCorruptForOneChunk",
     {Node::CorruptChunk, Node::CorruptChunk},
     false,
     TransferError::Checksum,
     0},
    {"EveryNodeFails",
     {Node::NotFound, Node::ServerError, Node::Closed, Node::Reset},
     false,
     TransferError::Network,
     0},
    {"EveryNodeTrickles", {Node::Trickle, Node::Trickle}, false, TransferError::Network, 0},
    {"EveryNodeSendsTooMuch", {Node::LongBody, Node::NoRanges}, false, TransferError::Network, 0},
    {"EveryNodeSendsAHugeHeader",
     {Node::HugeHeader, Node::HugeHeader},
     false,
     TransferError::Network,
     0},
};

INSTANTIATE_TEST_SUITE_P(Matrix, NodeFaultsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// A node that dies while it is sending: the chunks it held are fetched from the other
// node, and later requests to it are refused.
TEST_F(EndToEndTest, NodeDyingMidTransfer) {
  HttpTestResponse slow;
  slow.bytesPerSecond = 20000;
  HttpTestServer& dying = AddTestNode(slow);
  try {
    AddNginxNode();
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  Publish();
  const TransferStatus ready = CreateAndStart();
  ASSERT_EQ(ready.state, TransferState::Initialized) << DescribeStatus(ready);
  ASSERT_TRUE(dying.WaitForRequests(1, kCaseTimeout));
  dying.Stop();
  ExpectComplete(TestEngine::WaitFor(*transfer_, TestEngine::HasStopped, kCaseTimeout));
}

// Every node failing stops the transfer with a retryable error; once the nodes serve
// again, the user's retry finishes it, with what was verified before kept.
TEST_F(EndToEndTest, RetryAfterTheNodesRecoverCompletes) {
  HttpTestResponse unavailable;
  unavailable.status = 503;
  unavailable.ranges = false;
  HttpTestServer& node = AddTestNode();
  for (std::size_t i = 1; i < package_.files.size(); ++i) {
    node.Serve(PackageFilePath(package_, package_.files[i].path), unavailable);
  }
  Publish();
  const TransferStatus failed = Run();
  ASSERT_EQ(failed.error, TransferError::Network) << DescribeStatus(failed);
  ASSERT_TRUE(failed.retryable);
  EXPECT_EQ(failed.verifiedBytes, package_.files[0].bytes.size()) << "the run file came first";

  for (const PackageFileContent& file : package_.files) {
    node.ServeFile(PackageFilePath(package_, file.path), file.bytes);
  }
  ExpectComplete(RetryWhileRetryable(failed, 1));
}

// The longest path a manifest may name, of bytes that the work log writes as six each and a
// URL as three: 16 segments of 254 bytes ("é" 127 times), then a name of 16.
std::string LongestPath(std::size_t file) {
  std::string path;
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 127; ++j) path += "\xc3\xa9";
    path += '/';
  }
  const std::string name = "file" + std::to_string(file) + ".bin";
  return path + std::string(16 - name.size(), 'x') + name;
}

std::uintmax_t FolderBytes(const std::string& folder) {
  std::uintmax_t bytes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    bytes += entry.file_size();
  }
  return bytes;
}

// A chunk tries every node of the list before it gives up, and every attempt is a line of
// the work log that carries the chunk's path: against 1 000 failing nodes (a node list of
// under 80 KB) the log would pass 90 MB. It stops at its bound of 4 MiB instead, the ending event
// still in it, and the URLs of the longest paths reach the nodes whole.
TEST_F(EndToEndTest, AThousandFailingNodesAndTheLongestPathsWriteFourMebibytesOfLog) {
  for (std::size_t i = 0; i < package_.files.size(); ++i) {
    package_.files[i].path = LongestPath(i);
  }
  package_.run = package_.files.front().path;
  servers_.push_back(std::make_unique<HttpTestServer>());  // has no file: 404 to every chunk
  HttpTestServer& node = *servers_.back();
  hosts_.push_back(node.Host());
  const std::string closedPort = ":" + std::to_string(FreePort());
  for (int i = 1; i < 1000; ++i) {
    hosts_.push_back("127.1." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250) +
                     closedPort);
  }
  Publish();
  ExpectFailed(Run(), TransferError::Network, /*retryable=*/true);
  const std::vector<HttpTestRequest> requests = node.Requests();
  ASSERT_FALSE(requests.empty());
  std::string path;
  Poco::URI::decode(requests.front().path, path);
  EXPECT_EQ(path, PackageFilePath(package_, package_.run));

  engine_.reset();  // the work log drains
  const std::string logs = work_.Path() + "/logs";
  EXPECT_LE(FolderBytes(logs), 4u * 1024 * 1024);
  // The failing works' lines leave room for the event that tells how the transfer ended.
  std::string log;
  for (const auto& entry : std::filesystem::directory_iterator(logs)) {
    std::ifstream in(entry.path());
    log.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_NE(log.find("\"event\":\"RetryableError\""), std::string::npos);
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
