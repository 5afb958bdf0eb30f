// The whole engine at scale, through the transfer manager:
//
//   WorkTreeBuild/<chunks>   the work tree of a package of <chunks> 1 MiB chunks (a 20 GiB
//                            package is 20 480), built at initialisation without any
//                            download: the time to build it (manifests fetched and parsed
//                            included) and the process's anonymous memory, at its peak
//                            while building and once the tree stands. Run one size per process for
//                            a clean peak: --benchmark_filter=WorkTreeBuild/20480/
//   Download/<chunks>        a real download of <chunks> 64 KiB chunks from 4 nginx nodes
//                            into tmpfs: the time per chunk, which should stay flat.
//   Resume/<half>            a 2 GiB package (8 files, 4 MiB chunks) from 4 nginx nodes into
//                            tmpfs, from an empty folder (0) or with the first half of every
//                            file already on disk and correct (1).
//
// The nodes' files go below $TMPDIR, the destinations below /dev/shm.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/test_engine.h"
#include "e2e/test_package.h"
#include "storage/crc32.h"
#include "testing/http_test_server.h"
#include "testing/nginx_server.h"
#include "testing/package/package_maker.h"
#include "transfer/transfer.h"
#include "transfer/transfer_status.h"

namespace zarn {
namespace {

using Clock = std::chrono::steady_clock;

const char kPartner[] = "BENCHPARTNER";

// A value of /proc/self/status in MiB ("RssAnon", "VmHWM").
double StatusMiB(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size() + 1, key + ":") == 0) {
      return std::stod(line.substr(key.size() + 1)) / 1024.0;
    }
  }
  return 0;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The highest RssAnon seen while it runs, sampled every 2 ms.
class PeakAnonSampler {
 public:
  PeakAnonSampler() : thread_([this] { Loop(); }) {}
  ~PeakAnonSampler() { Stop(); }
  double Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return peak_;
  }

 private:
  void Loop() {
    while (!done_) {
      peak_ = std::max(peak_.load(), StatusMiB("RssAnon"));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  std::atomic<bool> done_{false};
  std::atomic<double> peak_{0};
  std::thread thread_;
};

std::string Hex8(std::uint32_t value) {
  std::ostringstream out;
  out << std::hex << std::setw(8) << std::setfill('0') << value;
  return out.str();
}

struct LargeFile {
  std::string path;
  std::uint64_t size;
  std::string checksums;
};

std::string ManifestXml(const std::string& packageId, std::uint32_t chunkSize,
                        const std::vector<LargeFile>& files) {
  std::ostringstream xml;
  xml << "<package><id>" << packageId << "</id><name>bench</name><partnerId>" << kPartner
      << "</partnerId><versionId>1</versionId><run>" << files.front().path << "</run><files>";
  for (const LargeFile& f : files) {
    xml << "<file><path>" << f.path << "</path><chunksize>" << chunkSize << "</chunksize><size>"
        << f.size << "</size><checksums>" << f.checksums << "</checksums></file>";
  }
  xml << "</files></package>";
  return xml.str();
}

// Writes the files of a package below root as nodes serve them, block by block (the
// package need not fit in memory), and answers its manifest.
std::string WriteLargePackage(const std::string& root, const std::string& packageId,
                              std::uint32_t chunkSize, int fileCount, std::uint64_t fileSize) {
  std::vector<LargeFile> files;
  const std::string folder = root + "/packages/" + kPartner + "/" + packageId + "/1";
  std::filesystem::create_directories(folder + "/data");
  for (int i = 0; i < fileCount; ++i) {
    LargeFile file{i == 0 ? "run.exe" : "data/part" + std::to_string(i) + ".pak", fileSize, ""};
    std::ofstream out(folder + "/" + file.path, std::ios::binary | std::ios::trunc);
    for (std::uint64_t at = 0; at < fileSize; at += chunkSize) {
      const std::size_t length =
          static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, fileSize - at));
      const std::string bytes = PatternBytes(
          length, static_cast<std::uint32_t>(at / chunkSize) ^ static_cast<std::uint32_t>(i << 20));
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      file.checksums += Hex8(Crc32(bytes.data(), bytes.size()));
    }
    files.push_back(file);
  }
  return ManifestXml(packageId, chunkSize, files);
}

// Nodes over one root and a manifest host that lists them.
struct Site {
  Site(const std::string& root, int nodeCount) {
    for (int i = 0; i < nodeCount; ++i) nodes.push_back(std::make_unique<NginxServer>(root));
    std::vector<std::string> hosts;
    for (const auto& node : nodes) hosts.push_back(node->Host());
    manifests.ServeFile(NodeListPath(kPartner), MakeNodeListXml(hosts));
  }
  HttpTestServer manifests;
  std::vector<std::unique_ptr<NginxServer>> nodes;
};

TransferConfig BenchConfig(const std::string& manifestHost, const std::string& work) {
  TransferConfig config;  // this machine's processor count, as the application has it
  config.manifestHost = manifestHost;
  config.transfersFolder = work + "/transfers";
  config.logsFolder = work + "/logs";
  config.engineThreads *= 2;  // doubled at start-up, as the application does
  return config;
}

bool Initialized(const TransferStatus& s) {
  return s.state == TransferState::Initialized || TestEngine::HasStopped(s);
}

void WorkTreeBuild(benchmark::State& state) {
  const std::uint64_t chunks = static_cast<std::uint64_t>(state.range(0));
  const std::uint32_t chunkSize = 1 << 20;
  const int fileCount = 20;
  std::vector<LargeFile> files;
  for (int i = 0; i < fileCount; ++i) {
    const std::uint64_t fileChunks = chunks / fileCount + (i < int(chunks % fileCount) ? 1 : 0);
    files.push_back({i == 0 ? "run.exe" : "data/part" + std::to_string(i) + ".pak",
                     fileChunks * chunkSize, std::string(fileChunks * 8, '0')});
  }
  HttpTestServer manifests;
  manifests.ServeFile(PackageManifestPath("SCALE", "1"), ManifestXml("SCALE", chunkSize, files));
  manifests.ServeFile(NodeListPath(kPartner), MakeNodeListXml({"127.0.0.1:9"}));
  ScratchFolder work;

  double anonBefore = 0, anonBuilt = 0, anonPeak = 0;
  for (auto _ : state) {
    TestEngine engine(BenchConfig(manifests.Host(), work.RelativeToTemp()));
    anonBefore = StatusMiB("RssAnon");
    PeakAnonSampler sampler;
    const Clock::time_point start = Clock::now();
    std::shared_ptr<Transfer> transfer = engine.Create(kPartner, "SCALE", "1");
    const TransferStatus status =
        TestEngine::WaitFor(*transfer, Initialized, std::chrono::minutes(10));
    state.SetIterationTime(Seconds(Clock::now() - start));
    anonBuilt = StatusMiB("RssAnon");
    anonPeak = std::max(sampler.Stop(), anonBuilt);
    if (status.state != TransferState::Initialized) state.SkipWithError("not initialized");
    transfer->Cancel(false);
  }
  state.counters["chunks"] = static_cast<double>(chunks);
  state.counters["anon_MiB"] = anonBuilt;
  state.counters["peak_anon_MiB"] = anonPeak;
  state.counters["tree_anon_MiB"] = anonBuilt - anonBefore;
  state.counters["tree_KiB_per_chunk"] = (anonBuilt - anonBefore) * 1024.0 / chunks;
  state.counters["peak_rss_MiB"] = StatusMiB("VmHWM");
}
BENCHMARK(WorkTreeBuild)
    ->Arg(5120)
    ->Arg(20480)
    ->Arg(81920)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Runs one transfer of the package into dest and answers its seconds.
double TimeTransfer(const Site& site, const std::string& packageId, const std::string& dest,
                    benchmark::State& state) {
  ScratchFolder work;
  std::filesystem::create_directories(dest);  // the application makes its folders first
  TestEngine engine(BenchConfig(site.manifests.Host(), work.RelativeToTemp()));
  std::shared_ptr<Transfer> transfer = engine.Create(kPartner, packageId, "1");
  TestEngine::WaitFor(*transfer, Initialized, std::chrono::minutes(2));
  const Clock::time_point start = Clock::now();
  const TransferStatus end = TestEngine::RunToEnd(*transfer, dest, std::chrono::minutes(20));
  const double seconds = Seconds(Clock::now() - start);
  if (end.state != TransferState::Completed) state.SkipWithError(DescribeStatus(end).c_str());
  state.counters["downloaded_MiB"] = end.downloadedBytes / 1048576.0;
  return seconds;
}

void Download(benchmark::State& state) {
  const int chunks = static_cast<int>(state.range(0));
  const std::uint32_t chunkSize = 64 * 1024;
  ScratchFolder root;
  const int fileCount = 8;
  const std::string xml = WriteLargePackage(root.Path(), "FLAT", chunkSize, fileCount,
                                            std::uint64_t(chunks / fileCount) * chunkSize);
  Site site(root.Path(), 4);
  site.manifests.ServeFile(PackageManifestPath("FLAT", "1"), xml);
  for (auto _ : state) {
    const std::string dest = "/dev/shm/" + UniqueName("zarn-bench");
    const double seconds = TimeTransfer(site, "FLAT", dest, state);
    state.SetIterationTime(seconds);
    state.counters["us_per_chunk"] = seconds * 1e6 / chunks;
    state.counters["MiB_per_s"] = double(chunks) * chunkSize / 1048576.0 / seconds;
    std::filesystem::remove_all(dest);
  }
}
BENCHMARK(Download)->Arg(1000)->Arg(5000)->Iterations(1)->UseManualTime()->Unit(
    benchmark::kMillisecond);

void Resume(benchmark::State& state) {
  const bool halfOnDisk = state.range(0) != 0;
  const std::uint32_t chunkSize = 4 << 20;
  const int fileCount = 8;
  const std::uint64_t fileSize = 256ull << 20;
  // Written once for both runs, removed at exit.
  static const ScratchFolder root;
  static const std::string xml =
      WriteLargePackage(root.Path(), "RESUME", chunkSize, fileCount, fileSize);
  Site site(root.Path(), 4);
  site.manifests.ServeFile(PackageManifestPath("RESUME", "1"), xml);
  const std::string source = root.Path() + "/packages/" + kPartner + "/RESUME/1";
  for (auto _ : state) {
    const std::string dest = "/dev/shm/" + UniqueName("zarn-bench");
    if (halfOnDisk) {
      // Every file at its full size, its first half as the source has it, the rest zero.
      for (const auto& entry : std::filesystem::recursive_directory_iterator(source)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = std::filesystem::relative(entry.path(), source).string();
        std::filesystem::create_directories(
            std::filesystem::path(dest + "/" + relative).parent_path());
        std::ifstream in(entry.path(), std::ios::binary);
        std::ofstream out(dest + "/" + relative, std::ios::binary);
        std::vector<char> half(fileSize / 2);
        in.read(half.data(), static_cast<std::streamsize>(half.size()));
        out.write(half.data(), static_cast<std::streamsize>(half.size()));
        std::fill(half.begin(), half.end(), 0);
        out.write(half.data(), static_cast<std::streamsize>(half.size()));
      }
    }
    const double seconds = TimeTransfer(site, "RESUME", dest, state);
    state.SetIterationTime(seconds);
    state.counters["package_MiB_per_s"] = fileCount * fileSize / 1048576.0 / seconds;
    std::filesystem::remove_all(dest);
  }
}
BENCHMARK(Resume)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
