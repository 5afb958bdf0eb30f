// Peak memory of fetching and reading hostile manifests and node lists at the bounds the
// engine sets (body size, nodes of the tree, attribute names, nodes of a node list), and
// of the largest genuine documents, through the real factories over loopback.
//
//   build/bench/transfer_manifest_bench [--benchmark_filter=Attributes]
//
// Each document is fetched in a child process of its own, its free heap pages returned to
// the system first, so that every figure starts from the same heap: peak_MiB is how far
// the child's peak resident memory (VmHWM, reset through /proc/self/clear_refs) rose above
// its resident memory before the fetch.
// outcome is 1 when the document was accepted, 0 when it was refused as a parse error.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "http/curl_http_request_factory.h"
#include "http/empty_http_proxy.h"
#include "http/http_proxy_factory.h"
#include "testing/http_test_server.h"
#include "transfer/manifest/http_manifest_source.h"
#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/standard_node_list_manifest.h"
#include "transfer/manifest/xml_http_node_list_manifest_factory.h"
#include "transfer/manifest/xml_http_package_manifest_factory.h"
#include "transfer/manifest/xml_manifest_tree.h"

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
  bool accepted = false;
};

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
    char accepted = 1;
    try {
      fetch();
    } catch (const ManifestParseException&) {
      accepted = 0;
    } catch (...) {
      accepted = 2;  // any other failure: not a figure of the bounds
    }
    long rise = StatusKiB("VmHWM") - before;
    if (write(pipeEnds[1], &rise, sizeof rise) != sizeof rise ||
        write(pipeEnds[1], &accepted, 1) != 1) {
      _exit(2);
    }
    _exit(0);
  }
  close(pipeEnds[1]);
  long rise = -1;
  char accepted = 2;
  const bool read = ::read(pipeEnds[0], &rise, sizeof rise) == sizeof rise &&
                    ::read(pipeEnds[0], &accepted, 1) == 1;
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!read || accepted == 2) return {};
  return {rise / 1024.0, accepted == 1};
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

std::string Package(const std::string& files) {
  return "<package><id>PKG</id><name>N</name><partnerId>P</partnerId><versionId>1</versionId>"
         "<files>" +
         files + "</files></package>";
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
// Markup the XML reader must refuse, and the bounds behind it: a quote that opens no value,
// then deep nesting or a flood of elements; one start tag of a million attributes.
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

// The largest genuine documents, accepted.
void BM_NodeListOfTheMostNodes(benchmark::State& state) {
  std::string xml = "<ArrayOfNodeInfo>";
  for (std::size_t i = 0; i < kMaxNodes; ++i) {
    xml += "<NodeInfo><NodeId>node" + std::to_string(i) + "</NodeId><Host>node" +
           std::to_string(i) + ".cdn.example:8080</Host></NodeInfo>";
  }
  Fetch(state, Kind::NodeList, xml + "</ArrayOfNodeInfo>");
}
void BM_MillionChunkManifest(benchmark::State& state) {
  Fetch(state, Kind::Package,
        Package("<file><path>a.bin</path><chunksize>1</chunksize><size>1000000</size>"
                "<checksums>" +
                std::string(8000000, '0') + "</checksums></file>"));
}
// A package at the node and body bounds: one file of 2^20 chunks and as many others as
// the node bound allows (five nodes each), their checksums filling the body.
void BM_PackageAtTheBounds(benchmark::State& state) {
  auto file = [](std::size_t i, std::size_t chunks) {
    return "<file><path>data/" + std::to_string(i) +
           ".bin</path><chunksize>1024</chunksize><size>" + std::to_string(chunks * 1024) +
           "</size><checksums>" + std::string(chunks * 8, '0') + "</checksums></file>";
  };
  const std::size_t others = (kMaxXmlNodes - 6) / 5 - 1;
  const std::string big = file(0, std::size_t(1) << 20);
  const std::size_t room = kMaxManifestBytes - Package("").size() - big.size() - 4096;
  const std::size_t chunks = (room / others - file(others, 1).size()) / 8;
  std::string files = big;
  files.reserve(kMaxManifestBytes);
  for (std::size_t i = 1; i <= others; ++i) files += file(i, chunks);
  Fetch(state, Kind::Package, Package(files));
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
BENCHMARK(BM_NodeListOfTheMostNodes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MillionChunkManifest)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackageAtTheBounds)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
