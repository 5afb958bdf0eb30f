// Peak memory of fetching and reading hostile manifests and node lists at the bounds the
// engine sets (body size, nodes of the tree, attribute names, nodes of a node list), and
// of the largest genuine documents, through the real factories over loopback.
//
//   build/bench/transfer_manifest_bench [--benchmark_filter=Attributes]
//
// The Transfer rows take packages of the most chunks through the program's whole engine
// instead: fetched, read, built into the transfer's work tree at initialisation, started
// into an empty folder (the one node refuses connections, so the first chunk request
// fails and the transfer stops) and cancelled. Their time is that of the whole run. The
// verified rows complete instead, every chunk already in place.
//
// Each document is fetched in a child process of its own, its free heap pages returned to
// the system first, so that every figure starts from the same heap: peak_MiB is how far
// the child's peak resident memory (VmHWM, reset through /proc/self/clear_refs) rose above
// its resident memory before the fetch.
// outcome is 1 when the document was accepted, 0 when it was refused as a parse error.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "e2e/test_engine.h"
#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "testing/http_test_server.h"
#include "testing/loopback_port.h"
#include "transfer/manifest/http_manifest_source.h"
#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/standard_node_list_manifest.h"
#include "transfer/manifest/standard_package_manifest.h"
#include "transfer/manifest/xml_http_node_list_manifest_factory.h"
#include "transfer/manifest/xml_http_package_manifest_factory.h"
#include "transfer/manifest/xml_manifest_tree.h"
#include "transfer/transfer.h"

namespace zarn {
namespace {

class DirectProxyFactory : public HttpProxyFactory {
 public:
  std::shared_ptr<HttpProxy> Create() override { return MakeEmptyHttpProxy(); }
};

// A value of /proc/self/status in KiB ("VmHWM", "VmRSS").
long StatusKiB(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size() + 1, key + ":") == 0)
      return std::stol(line.substr(key.size() + 1));
  }
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Measurement {
  double peakMiB = -1;
  double cpuMs = -1;  // the child's processor time, every thread's, user and system
  bool accepted = false;
};

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs fetch in a child process and answers how far its peak rose, and whether it ended
// without an exception.
Measurement MeasureInChild(const std::function<void()>& fetch) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    // Free memory the parent left resident would be reused without showing in the figure.
    malloc_trim(0);
    ResetPeak();
    const long before = StatusKiB("VmRSS");
    const double cpuBefore = CpuMs();
    char accepted = 1;
    try {
      fetch();
    } catch (const ManifestParseException&) {
      accepted = 0;
    } catch (...) {
      accepted = 2;  // any other failure: not a figure of the bounds
    }
    long rise = StatusKiB("VmHWM") - before;
    const double cpu = CpuMs() - cpuBefore;
    if (write(pipeEnds[1], &rise, sizeof rise) != sizeof rise ||
        write(pipeEnds[1], &cpu, sizeof cpu) != sizeof cpu ||
        write(pipeEnds[1], &accepted, 1) != 1) {
      _exit(2);
    }
    _exit(0);
  }
  close(pipeEnds[1]);
  long rise = -1;
  double cpu = -1;
  char accepted = 2;
  const bool read = ::read(pipeEnds[0], &rise, sizeof rise) == sizeof rise &&
                    ::read(pipeEnds[0], &cpu, sizeof cpu) == sizeof cpu &&
                    ::read(pipeEnds[0], &accepted, 1) == 1;
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!read || accepted == 2) return {};
  return {rise / 1024.0, cpu, accepted == 1};
}

std::string Repeated(const std::string& head, const std::string& piece, std::size_t count,
                     const std::string& tail) {
  std::string xml = head;
  xml.reserve(head.size() + piece.size() * count + tail.size());
  for (std::size_t i = 0; i < count; ++i) xml += piece;
  return xml + tail;
}

// How many pieces of `nodes` nodes each fill the tree's bound below the one root element.
std::size_t AtTheBound(std::size_t nodes) { return (kMaxXmlNodes - 1) / nodes; }

// A package of the files, with `extra` (elements nobody reads) before them.
std::string Package(const std::string& files, const std::string& extra = "") {
  return "<package><id>PKG</id><name>N</name><partnerId>P</partnerId><versionId>1</versionId>" +
         extra + "<files>" + files + "</files></package>";
}

// A file of `chunks` one-byte chunks.
std::string FileOfChunks(const std::string& path, std::uint64_t chunks) {
  return "<file><path>" + path + "</path><chunksize>1</chunksize><size>" + std::to_string(chunks) +
         "</size><checksums>" + std::string(8 * chunks, '0') + "</checksums></file>";
}

enum class Kind { Package, NodeList };

void Fetch(benchmark::State& state, Kind kind, const std::string& document) {
  HttpTestServer server;
  server.ServeFile("/manifests/PKG/current.xml", kind == Kind::Package ? document : "");
  server.ServeFile("/nodes/P.xml", kind == Kind::NodeList ? document : "");
  DirectProxyFactory proxies;
  CurlHttpRequestFactory requests(&proxies);
  XmlHttpPackageManifestFactory packages(server.Host(), &requests, 5, 120);
  XmlHttpNodeListManifestFactory nodeLists(server.Host(), &requests, 5, 120);
  Measurement measured;
  for (auto _ : state) {
    measured = MeasureInChild([&] {
      if (kind == Kind::Package) {
        packages.GetPackageManifest("PKG");
      } else {
        nodeLists.GetNodeList("P");
      }
    });
  }
  if (measured.peakMiB < 0) state.SkipWithError("the fetch failed otherwise");
  state.counters["body_MiB"] = document.size() / 1048576.0;
  state.counters["peak_MiB"] = measured.peakMiB;
  state.counters["cpu_ms"] = measured.cpuMs;
  state.counters["accepted"] = measured.accepted ? 1 : 0;
}

// Hostile documents at the bounds; every one is refused once read, or before.
void BM_Elements(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("<package>", "<a/>", AtTheBound(1), "</package>"));
}
void BM_ElementsBetweenText(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("<package>", "<a>x</a>y", AtTheBound(1), "</package>"));
}
void BM_Comments(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("<package>", "<!---->x", AtTheBound(1), "</package>"));
}
void BM_TextBetweenInstructions(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("<package>", "<?x?>y", AtTheBound(1), "</package>"));
}
void BM_Attributes(benchmark::State& state) {
  // An element with two attributes: 1 + 1 (their holder) + 2 x 2 nodes.
  Fetch(state, Kind::Package, Repeated("<package>", "<a b='' c=''/>", AtTheBound(6), "</package>"));
}
void BM_DottedAttributes(benchmark::State& state) {
  // An attribute name of 63 segments, hoisted as 63 nested nodes.
  std::string name = "a";
  for (int i = 1; i < 63; ++i) name += "." + std::to_string(i % 10);
  std::size_t count = AtTheBound(1 + 1 + 1 + 63);
  std::string xml = "<package>";
  for (std::size_t i = 0; i < count; ++i)
    xml += "<a x" + std::to_string(i) + name.substr(1) + "=''/>";
  Fetch(state, Kind::Package, xml + "</package>");
}
void BM_TextFillingTheBody(benchmark::State& state) {
  const std::size_t count = AtTheBound(1);
  const std::string text(((kMaxManifestBytes - 64) / count - 7) / 2, 'x');
  Fetch(state, Kind::Package,
        Repeated("<package>", "<a>" + text + "</a>" + text, count, "</package>"));
}
void BM_AttributeValuesFillingTheBody(benchmark::State& state) {
  const std::size_t count = AtTheBound(4);
  const std::string value((kMaxManifestBytes - 64) / count - 9, 'x');
  Fetch(state, Kind::Package, Repeated("<package>", "<a b='" + value + "'/>", count, "</package>"));
}
void BM_BodyPastTheBound(benchmark::State& state) {
  Fetch(state, Kind::Package, "<package>" + std::string(kMaxManifestBytes, 'x') + "</package>");
}
// Markup that once hid the bounds from a scan: a quote that opens no value, then deep
// nesting or a flood of elements; one start tag of a million attributes.
void BM_DeepNestingBehindAQuote(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("<package=\"x>", "<a>", 100000, ""));
}
void BM_ElementsBehindAQuote(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("<package=\"x>", "<a/>", 4000000, ""));
}
void BM_AttributesOfOneTag(benchmark::State& state) {
  std::string xml = "<package";
  for (int i = 0; xml.size() < kMaxManifestBytes - 64; ++i) xml += " a" + std::to_string(i) + "=''";
  Fetch(state, Kind::Package, xml + "/>");
}
void BM_NodeListAtTheTreeBound(benchmark::State& state) {
  Fetch(state, Kind::NodeList,
        Repeated("<ArrayOfNodeInfo>", "<NodeInfo><NodeId>n</NodeId><Host>h</Host></NodeInfo>",
                 AtTheBound(3), "</ArrayOfNodeInfo>"));
}

// The counts of '<' and '=' at their bounds, past the tree's bounds or within them.
std::string MarkupBound(const std::string& piece, std::size_t marks) {
  return Repeated("<package>", piece, (kMaxXmlMarkup - 2) / marks, "</package>");
}
void BM_TextRunsAtTheMarkupBound(benchmark::State& state) {
  Fetch(state, Kind::Package, MarkupBound("<?x?>y", 1));
}
void BM_ClosedElementsAtTheMarkupBound(benchmark::State& state) {
  Fetch(state, Kind::Package, MarkupBound("<a>x</a>", 2));
}
void BM_EmptyElementsAtTheMarkupBound(benchmark::State& state) {
  Fetch(state, Kind::Package, MarkupBound("<a/>", 1));
}
void BM_AttributesAtTheBothBounds(benchmark::State& state) {
  Fetch(state, Kind::Package, MarkupBound("<a b=''/><a/>", 2));
}
void BM_DeepestNestingTheMarkupLetsThrough(benchmark::State& state) {
  Fetch(state, Kind::Package,
        Repeated("", "<a>", (kMaxXmlMarkup - 2) / 2, "") +
            Repeated("", "</a>", (kMaxXmlMarkup - 2) / 2, ""));
}
void BM_OpenNestingAtTheMarkupBound(benchmark::State& state) {
  Fetch(state, Kind::Package, Repeated("", "<a>", kMaxXmlMarkup, ""));
}
void BM_CdataFillingTheBody(benchmark::State& state) {
  Fetch(
      state, Kind::Package,
      "<package><a><![CDATA[" + std::string(kMaxManifestBytes - 64, '\xe9') + "]]></a></package>");
}

// The largest genuine documents, accepted.
void BM_NodeListOfTheMostNodes(benchmark::State& state) {
  std::string xml = "<ArrayOfNodeInfo>";
  for (std::size_t i = 0; i < kMaxNodes; ++i) {
    xml += "<NodeInfo><NodeId>node" + std::to_string(i) + "</NodeId><Host>node" +
           std::to_string(i) + ".cdn.example:8080</Host></NodeInfo>";
  }
  Fetch(state, Kind::NodeList, xml + "</ArrayOfNodeInfo>");
}
void BM_ManifestOfTheMostChunks(benchmark::State& state) {
  Fetch(state, Kind::Package, Package(FileOfChunks("a.bin", kMaxPackageChunks)));
}

// A package's whole way through the engine, as the header says for the Transfer rows. A
// document refused as a manifest error counts as refused; any other end of initialisation
// fails the row.
// prepare, when given, fills the destination folder before each run. The transfer asks
// for `version`; nodeList, when given, replaces the list of the one refusing node.
void RunTransfer(benchmark::State& state, const std::string& document,
                 const std::function<void(const std::filesystem::path&)>& prepare = nullptr,
                 const std::string& version = "1", const std::string& nodeList = "") {
  const RefusingPort node;
  HttpTestServer server;
  server.ServeFile("/manifests/PKG/" + version + ".xml", document);
  server.ServeFile("/nodes/P.xml", !nodeList.empty()
                                       ? nodeList
                                       : "<ArrayOfNodeInfo><NodeInfo><NodeId>n</NodeId><Host>"
                                         "127.0.0.1:" +
                                             std::to_string(node.Port()) +
                                             "</Host></NodeInfo></ArrayOfNodeInfo>");
  const std::string work = "zarn-manifest-bench-" + std::to_string(getpid());
  const std::filesystem::path dest = std::filesystem::temp_directory_path() / (work + "-dest");
  Measurement measured;
  for (auto _ : state) {
    std::filesystem::create_directories(dest);
    if (prepare) prepare(dest);
    measured = MeasureInChild([&] {
      TestEngine engine(TestEngine::FastConfig(server.Host(), work));
      const std::shared_ptr<Transfer> transfer = engine.Create("P", "PKG", version);
      if (!transfer) throw std::runtime_error("no transfer");
      const TransferStatus initialised = TestEngine::WaitFor(
          *transfer,
          [](const TransferStatus& s) {
            return s.state == TransferState::Initialized || TestEngine::HasStopped(s);
          },
          std::chrono::minutes(10));
      if (initialised.error == TransferError::Manifest) throw ManifestParseException();
      if (initialised.state != TransferState::Initialized) throw std::runtime_error("not ready");
      transfer->Start(dest.string());
      const TransferStatus ended =
          TestEngine::WaitFor(*transfer, TestEngine::HasStopped, std::chrono::minutes(1));
      // A prepared folder holds every chunk: the run must complete.
      if (prepare && ended.state != TransferState::Completed) {
        throw std::runtime_error("not completed");
      }
      transfer->Cancel(true);
    });
    std::filesystem::remove_all(dest);
    std::filesystem::remove_all(std::filesystem::temp_directory_path() / work);
  }
  if (measured.peakMiB < 0) state.SkipWithError("the transfer failed otherwise");
  state.counters["body_MiB"] = document.size() / 1048576.0;
  state.counters["peak_MiB"] = measured.peakMiB;
  state.counters["cpu_ms"] = measured.cpuMs;
  state.counters["accepted"] = measured.accepted ? 1 : 0;
}

// One file of state.range(0) one-byte chunks.
void BM_TransferOfOneFile(benchmark::State& state) {
  RunTransfer(state, Package(FileOfChunks("a.bin", static_cast<std::uint64_t>(state.range(0)))));
}

// The most chunks in one file, every one already in the destination folder: the transfer
// verifies each chunk, requests none and completes, with the work log at its default mask.
void RunVerifiedTransfer(benchmark::State& state, const std::string& nodeList) {
  std::string checksums;
  for (std::uint64_t i = 0; i < kMaxPackageChunks; ++i) checksums += "d202ef8d";  // CRC of 0x00
  const std::string file = "<file><path>a.bin</path><chunksize>1</chunksize><size>" +
                           std::to_string(kMaxPackageChunks) + "</size><checksums>" + checksums +
                           "</checksums></file>";
  RunTransfer(
      state, Package(file),
      [](const std::filesystem::path& dest) {
        std::ofstream(dest / "a.bin", std::ios::binary) << std::string(kMaxPackageChunks, '\0');
      },
      "1", nodeList);
}
void BM_TransferOfVerifiedChunks(benchmark::State& state) { RunVerifiedTransfer(state, ""); }

// A host of the longest name, in labels of two-byte UTF-8 characters (each written as two
// six-character escapes in the analytics), with the largest port.
std::string HostAtTheBound() {
  std::string name;
  std::size_t label = 0;
  while (name.size() + 2 <= 253) {
    if (label + 2 > 63) {
      name += '.';
      label = 0;
    } else {
      name += "\xc3\xa9";
      label += 2;
    }
  }
  while (name.size() < 253) name += 'a';
  return name + ":65535";
}

// The same, from the most nodes, each with the longest host: every node goes into the
// transfer's end event.
void BM_TransferOfVerifiedChunksFromTheMostNodes(benchmark::State& state) {
  std::string xml = "<ArrayOfNodeInfo>";
  const std::string host = HostAtTheBound();
  for (std::size_t i = 0; i < kMaxNodes; ++i) {
    xml += "<NodeInfo><NodeId>node" + std::to_string(i) + "</NodeId><Host>" + host +
           "</Host></NodeInfo>";
  }
  RunVerifiedTransfer(state, xml + "</ArrayOfNodeInfo>");
}

// The most chunks in one file of a package whose version is the longest: every chunk's
// request names it.
void BM_TransferOfTheLongestVersion(benchmark::State& state) {
  const std::string version(kMaxVersionIdLength, 'v');
  RunTransfer(state,
              "<package><id>PKG</id><name>N</name><partnerId>P</partnerId><versionId>" + version +
                  "</versionId><files>" + FileOfChunks("a.bin", kMaxPackageChunks) +
                  "</files></package>",
              nullptr, version);
}

// The most chunks in one file, the body filled to its bound by an element nobody reads.
void BM_TransferAtTheChunkBoundInOneFile(benchmark::State& state) {
  const std::string file = FileOfChunks("a.bin", kMaxPackageChunks);
  const std::size_t filler = kMaxManifestBytes - Package(file).size() - 64;
  RunTransfer(state, Package(file, "<x>" + std::string(filler, 'x') + "</x>"));
}

// The worst document every bound accepts: the most chunks in as many files as the node
// bound allows (each file is five elements), their paths filling the body to its bound.
// Each path is folders of 200 characters, so that every file can be created.
std::string PackageAtEveryBound() {
  // One file's worth of nodes is left for the package's own five elements.
  const std::size_t files = AtTheBound(5) - 1;
  const auto chunksOf = [&](std::size_t i) {
    return kMaxPackageChunks / files + (i < kMaxPackageChunks % files ? 1 : 0);
  };
  std::string xml;
  for (std::size_t i = 0; i < files; ++i) xml += FileOfChunks(std::to_string(i), chunksOf(i));
  // What is left of the body, shared out as folders in front of every path.
  const std::size_t folderBytes = (kMaxManifestBytes - Package(xml).size() - 64) / files;
  std::string folders;
  while (folderBytes - folders.size() > 201) folders += std::string(200, 'd') + "/";
  folders += std::string(folderBytes - folders.size() - 1, 'd') + "/";
  xml.clear();
  xml.reserve(kMaxManifestBytes);
  for (std::size_t i = 0; i < files; ++i) {
    xml += FileOfChunks(folders + std::to_string(i), chunksOf(i));
  }
  return Package(xml);
}

// That document read alone, and taken through the engine.
void BM_PackageAtTheBounds(benchmark::State& state) {
  Fetch(state, Kind::Package, PackageAtEveryBound());
}
void BM_TransferAtEveryBound(benchmark::State& state) { RunTransfer(state, PackageAtEveryBound()); }

void BM_TransferOneChunkPastTheBound(benchmark::State& state) {
  RunTransfer(state, Package(FileOfChunks("a.bin", kMaxPackageChunks + 1)));
}
BENCHMARK(BM_Elements)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElementsBetweenText)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Comments)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextBetweenInstructions)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Attributes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DottedAttributes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextFillingTheBody)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttributeValuesFillingTheBody)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyPastTheBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepNestingBehindAQuote)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElementsBehindAQuote)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttributesOfOneTag)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeListAtTheTreeBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextRunsAtTheMarkupBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosedElementsAtTheMarkupBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyElementsAtTheMarkupBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttributesAtTheBothBounds)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepestNestingTheMarkupLetsThrough)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenNestingAtTheMarkupBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CdataFillingTheBody)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeListOfTheMostNodes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManifestOfTheMostChunks)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferOfOneFile)
    ->Arg(500000)
    ->Arg(2000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferOfVerifiedChunks)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferOfVerifiedChunksFromTheMostNodes)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferOfTheLongestVersion)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferAtTheChunkBoundInOneFile)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferAtEveryBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferOneChunkPastTheBound)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackageAtTheBounds)->Iterations(1)->Unit(benchmark::kMillisecond);

// The updater's two transfers at once, each fetching its package manifest and its node
// list at the same time, all four from a server that answers every one with document:
// four documents in the engine together. Refused when both transfers end with a manifest
// error; any other end fails the row.
void RunTwoTransfersOfOneDocument(benchmark::State& state, const std::string& document) {
  HttpTestServer server;
  for (const char* path :
       {"/manifests/PKG/current.xml", "/manifests/SKIN/1.xml", "/nodes/P.xml", "/nodes/Q.xml"}) {
    server.ServeFile(path, document);
  }
  const std::string work = "zarn-manifest-bench-" + std::to_string(getpid());
  Measurement measured;
  for (auto _ : state) {
    measured = MeasureInChild([&] {
      TestEngine engine(TestEngine::FastConfig(server.Host(), work));
      const std::shared_ptr<Transfer> transfers[] = {engine.Create("P", "PKG", "?"),
                                                     engine.Create("Q", "SKIN", "1")};
      int refused = 0;
      for (const auto& transfer : transfers) {
        if (!transfer) throw std::runtime_error("no transfer");
        const TransferStatus ended =
            TestEngine::WaitFor(*transfer, TestEngine::HasStopped, std::chrono::minutes(10));
        if (ended.error == TransferError::Manifest) ++refused;
        transfer->Cancel(true);
      }
      if (refused == 2) throw ManifestParseException();
      if (refused != 0) throw std::runtime_error("one transfer refused, the other not");
    });
    std::filesystem::remove_all(std::filesystem::temp_directory_path() / work);
  }
  if (measured.peakMiB < 0) state.SkipWithError("the transfers failed otherwise");
  state.counters["body_MiB"] = document.size() / 1048576.0;
  state.counters["peak_MiB"] = measured.peakMiB;
  state.counters["cpu_ms"] = measured.cpuMs;
  state.counters["accepted"] = measured.accepted ? 1 : 0;
}

// About the largest tree the two counts let through, the attribute values filling the
// body: 999 999 '<' and 499 998 '=' in 61.5 MB, refused for its nodes once read.
std::string TreeAtBothCounts() {
  const std::size_t attributes = kMaxXmlAttributes - 2;
  const std::size_t elements = kMaxXmlMarkup - 3 - attributes;  // two '<' are the root's
  return Repeated("<package>", "<a b='" + std::string(110, 'x') + "'/>", attributes, "") +
         Repeated("", "<a/>", elements, "</package>");
}
void BM_TheLargestTree(benchmark::State& state) { Fetch(state, Kind::Package, TreeAtBothCounts()); }
void BM_TwoTransfersOfTheLargestTreeEverywhere(benchmark::State& state) {
  RunTwoTransfersOfOneDocument(state, TreeAtBothCounts());
}
BENCHMARK(BM_TheLargestTree)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoTransfersOfTheLargestTreeEverywhere)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
