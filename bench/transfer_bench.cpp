// End-to-end throughput of a package transfer: the engine's whole work tree fetching a
// package from nginx content nodes on 127.0.0.1 into a tmpfs folder, every chunk verified,
// against aria2c (4 connections per file over the same 4 mirrors) and one curl stream,
// for the same bytes. The engine runs twice: its work tree alone, and a whole transfer
// through the transfer manager as the application composes it.
//
//   transfer_bench [--size-mib N] [--files N] [--chunk-mib N] [--nodes N] [--no-aria2]
//                  [--no-curl] [--no-manager] [--keep]
//
// Defaults: 2048 MiB in 8 files of 4 MiB chunks from 4 nodes. Sources and destinations
// live below /dev/shm. Reported per run: wall seconds, GB/s (10^9 bytes per second), CPU
// seconds (user + system of the downloading process) and peak anonymous memory (RssAnon,
// sampled every 2 ms; the engine's mapped destination pages are file pages, not anonymous).

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "e2e/test_engine.h"
#include "e2e/test_package.h"
#include "testing/child_process.h"
#include "testing/nginx_server.h"
#include "testing/package/package_maker.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/transfer.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
  uint64_t sizeMiB = 2048;
  int files = 8;
  uint32_t chunkMiB = 4;
  int nodes = 4;
  bool aria2 = true;
  bool curl = true;
  bool manager = true;
  bool keep = false;
};

struct Result {
  std::string name;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  uint64_t peakAnonKiB = 0;
  uint64_t bytes = 0;
  bool verified = false;
  std::string note;
};

[[noreturn]] void Die(const std::string& message) {
  std::cerr << "transfer_bench: " << message << "\n";
  std::exit(1);
}

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

uint64_t RssAnonKiB(pid_t pid) {
  std::ifstream status(pid == 0 ? std::string("/proc/self/status")
                                : "/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("RssAnon:", 0) == 0) return std::strtoull(line.c_str() + 8, nullptr, 10);
  }
  return 0;
}

// The executable a process runs ("" once it has ended).
std::string ProgramOf(pid_t pid) {
  std::error_code error;
  const fs::path exe = fs::read_symlink(
      pid == 0 ? std::string("/proc/self/exe") : "/proc/" + std::to_string(pid) + "/exe", error);
  return error ? std::string() : exe.string();
}

// Samples a process's anonymous memory until stopped and keeps the peak.
class AnonSampler {
 public:
  explicit AnonSampler(pid_t pid) : pid_(pid), thread_([this] { Loop(); }) {}
  ~AnonSampler() { Stop(); }
  uint64_t Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return peak_;
  }

 private:
  void Loop() {
    // A forked child holds a copy of our memory until it runs its own program: that copy
    // is not what the program uses.
    const std::string ours = ProgramOf(0);
    bool execed = pid_ == 0;
    while (!stop_) {
      execed = execed || ProgramOf(pid_) != ours;
      if (execed) peak_ = std::max(peak_.load(), RssAnonKiB(pid_));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  const pid_t pid_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> peak_{0};
  std::thread thread_;
};

void WritePattern(const fs::path& path, uint64_t size, uint64_t seed) {
  std::vector<uint64_t> block(1 << 17);  // 1 MiB
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  std::ofstream out(path, std::ios::binary);
  for (uint64_t written = 0; written < size;) {
    for (uint64_t& word : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      word = x;
    }
    const uint64_t n = std::min<uint64_t>(size - written, block.size() * 8);
    out.write(reinterpret_cast<const char*>(block.data()), n);
    written += n;
  }
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> p(1 << 20), q(1 << 20);
  while (x && y) {
    x.read(p.data(), p.size());
    y.read(q.data(), q.size());
    if (x.gcount() != y.gcount() || std::memcmp(p.data(), q.data(), x.gcount()) != 0) {
      return false;
    }
  }
  return x.eof() && y.eof();
}

std::string ChecksumsOf(const fs::path& file, uint32_t chunkSize) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> chunk(chunkSize);
  std::ostringstream hex;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    char text[9];
    std::snprintf(text, sizeof(text), "%08x", Crc32(chunk.data(), in.gcount()));
    hex << text;
  }
  return hex.str();
}

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options) {
    work_ = fs::path("/dev/shm") / ("zarn_transfer_bench_" + std::to_string(::getpid()));
    fs::remove_all(work_);
    source_ = work_ / "nodes/packages/partner/pkg/1";
    fs::create_directories(source_);
    fileSize_ = options.sizeMiB * 1048576 / options.files;
    std::ostringstream xml;
    xml << "<package><id>pkg</id><name>bench</name><partnerId>partner</partnerId>"
        << "<versionId>1</versionId><files>";
    for (int i = 0; i < options.files; ++i) {
      const std::string name = "file" + std::to_string(i) + ".bin";
      names_.push_back(name);
      WritePattern(source_ / name, fileSize_, i + 1);
      xml << "<file><path>" << name << "</path><chunksize>" << options.chunkMiB * 1048576
          << "</chunksize><size>" << fileSize_ << "</size><checksums>"
          << ChecksumsOf(source_ / name, options.chunkMiB * 1048576) << "</checksums></file>";
    }
    xml << "</files></package>";
    packageXml_ = xml.str();
    NginxServer::Options node;
    node.workers = 2;
    for (int i = 0; i < options.nodes; ++i) {
      nodes_.push_back(std::make_unique<NginxServer>((work_ / "nodes").string(), node));
    }
  }

  ~Bench() {
    nodes_.clear();
    if (!options_.keep) fs::remove_all(work_);
  }

  uint64_t TotalBytes() const { return fileSize_ * names_.size(); }

  Result RunEngine() {
    Result result;
    result.name = "engine (work tree)";
    TransferConfig config;
    config.engineThreads *= 2;  // as the application does
    tree_test::TransferTreeRig rig(config);
    std::vector<std::string> hosts;
    for (const auto& node : nodes_) hosts.push_back(node->Host());
    rig.Manifests().ServeFile("/manifests/pkg/1.xml", packageXml_);
    rig.Manifests().ServeFile("/nodes/partner.xml", tree_test::NodeListXml(hosts));
    const fs::path dest = Fresh("dest_engine");

    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    AnonSampler sampler(0);
    const auto start = Clock::now();
    auto wi = rig.Start("partner", "pkg", "1", dest.string());
    const bool ended = wi->WaitForEnd(std::chrono::seconds(1800));
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peakAnonKiB = sampler.Stop();
    getrusage(RUSAGE_SELF, &after);
    result.cpuSeconds = Seconds(after.ru_utime) - Seconds(before.ru_utime) +
                        Seconds(after.ru_stime) - Seconds(before.ru_stime);

    const auto root = wi->RootStatus();
    const TransferStatus status = wi->Snapshot();
    result.bytes = status.verifiedBytes;
    std::ostringstream note;
    note << "threads " << config.engineThreads << ", running " << config.workflowMaxRunning
         << ", downloaded " << status.downloadedBytes;
    result.note = note.str();
    result.verified = ended && root && root->result == WorkResult::Success &&
                      status.completedBytes == TotalBytes() &&
                      status.verifiedBytes == TotalBytes() && SameFiles(dest);
    fs::remove_all(dest);
    return result;
  }

  Result RunManager() {
    Result result;
    result.name = "engine (manager)";
    HttpTestServer manifests;
    std::vector<std::string> hosts;
    for (const auto& node : nodes_) hosts.push_back(node->Host());
    manifests.ServeFile(PackageManifestPath("pkg", "1"), packageXml_);
    manifests.ServeFile(NodeListPath("partner"), MakeNodeListXml(hosts));
    ScratchFolder folders;
    TransferConfig config;  // this machine's processor count, as the application has it
    config.manifestHost = manifests.Host();
    config.transfersFolder = folders.RelativeToTemp() + "/transfers";
    config.logsFolder = folders.RelativeToTemp() + "/logs";
    config.engineThreads *= 2;  // as the application does
    const fs::path dest = Fresh("dest_manager");

    TestEngine engine(config);
    std::shared_ptr<Transfer> transfer = engine.Create("partner", "pkg", "1");
    TestEngine::WaitFor(
        *transfer,
        [](const TransferStatus& s) {
          return s.state == TransferState::Initialized || TestEngine::HasStopped(s);
        },
        std::chrono::minutes(2));
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    AnonSampler sampler(0);
    const auto start = Clock::now();
    const TransferStatus end =
        TestEngine::RunToEnd(*transfer, dest.string(), std::chrono::minutes(30));
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peakAnonKiB = sampler.Stop();
    getrusage(RUSAGE_SELF, &after);
    result.cpuSeconds = Seconds(after.ru_utime) - Seconds(before.ru_utime) +
                        Seconds(after.ru_stime) - Seconds(before.ru_stime);
    result.bytes = end.verifiedBytes;
    result.verified = end.state == TransferState::Completed && end.verifiedBytes == TotalBytes() &&
                      SameFiles(dest);
    result.note = DescribeStatus(end);
    fs::remove_all(dest);
    return result;
  }

  Result RunAria2() {
    Result result;
    result.name = "aria2c -x4 -s4";
    const fs::path dest = Fresh("dest_aria2");
    const fs::path input = work_ / "aria2_input.txt";
    {
      std::ofstream list(input);
      for (const std::string& name : names_) {
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
          list << (n ? "\t" : "") << "http://" << nodes_[n]->Host() << "/packages/partner/pkg/1/"
               << name;
        }
        list << "\n  out=" << name << "\n";
      }
    }
    const std::vector<std::string> argv = {"aria2c",
                                           "-x4",
                                           "-s4",
                                           "-j" + std::to_string(names_.size()),
                                           "-k1M",
                                           "--dir=" + dest.string(),
                                           "--input-file=" + input.string(),
                                           "--file-allocation=none",
                                           "--allow-overwrite=true",
                                           "--auto-file-renaming=false",
                                           "--summary-interval=0",
                                           "--console-log-level=warn",
                                           "--check-certificate=false"};
    RunChild(argv, result);
    result.note = "-j" + std::to_string(names_.size()) + " -k1M, " + std::to_string(nodes_.size()) +
                  " mirrors per file";
    result.bytes = TotalBytes();
    result.verified = SameFiles(dest);
    fs::remove_all(dest);
    return result;
  }

  Result RunCurl() {
    Result result;
    result.name = "curl, one stream";
    const fs::path dest = Fresh("dest_curl");
    std::vector<std::string> argv = {"curl", "-s", "-f"};
    for (const std::string& name : names_) {
      argv.push_back("http://" + nodes_[0]->Host() + "/packages/partner/pkg/1/" + name);
      argv.push_back("-o");
      argv.push_back((dest / name).string());
    }
    RunChild(argv, result);
    result.note = "files one after another from one node";
    result.bytes = TotalBytes();
    result.verified = SameFiles(dest);
    fs::remove_all(dest);
    return result;
  }

 private:
  fs::path Fresh(const std::string& name) {
    const fs::path dest = work_ / name;
    fs::remove_all(dest);
    fs::create_directories(dest);
    return dest;
  }

  bool SameFiles(const fs::path& dest) const {
    for (const std::string& name : names_) {
      if (!SameBytes(source_ / name, dest / name)) return false;
    }
    return true;
  }

  void RunChild(const std::vector<std::string>& argv, Result& result) {
    ChildProcess::Options options;
    options.output = (work_ / (argv[0] + ".log")).string();
    const auto start = Clock::now();
    ChildProcess child(argv, options);
    AnonSampler sampler(child.Pid());
    rusage usage{};
    const std::optional<int> status = child.Wait(std::chrono::minutes(30), &usage);
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.peakAnonKiB = sampler.Stop();
    result.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
      result.note = argv[0] + " failed; see " + options.output;
    }
  }

  Options options_;
  fs::path work_;
  fs::path source_;
  uint64_t fileSize_ = 0;
  std::vector<std::string> names_;
  std::string packageXml_;
  std::vector<std::unique_ptr<NginxServer>> nodes_;
};

void Print(const Result& r) {
  std::printf("%-20s %8.2f s %7.3f GB/s %8.2f s CPU %8.1f MiB anon  %s  %s\n", r.name.c_str(),
              r.wallSeconds, r.bytes / r.wallSeconds / 1e9, r.cpuSeconds, r.peakAnonKiB / 1024.0,
              r.verified ? "verified" : "NOT VERIFIED", r.note.c_str());
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> uint64_t {
      if (i + 1 >= argc) Die("missing value for " + arg);
      return std::strtoull(argv[++i], nullptr, 10);
    };
    if (arg == "--size-mib")
      options.sizeMiB = value();
    else if (arg == "--files")
      options.files = static_cast<int>(value());
    else if (arg == "--chunk-mib")
      options.chunkMiB = static_cast<uint32_t>(value());
    else if (arg == "--nodes")
      options.nodes = static_cast<int>(value());
    else if (arg == "--no-aria2")
      options.aria2 = false;
    else if (arg == "--no-curl")
      options.curl = false;
    else if (arg == "--no-manager")
      options.manager = false;
    else if (arg == "--keep")
      options.keep = true;
    else
      Die("unknown option " + arg);
  }
  if (options.files < 1 || options.nodes < 1 || options.chunkMiB < 1) Die("bad options");
  return options;
}

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  using namespace zarn;
  ::signal(SIGPIPE, SIG_IGN);
  const Options options = Parse(argc, argv);
  try {
    Bench bench(options);
    std::printf(
        "package: %.0f MiB in %d files, %u MiB chunks, %d nginx nodes on 127.0.0.1, "
        "tmpfs\n",
        bench.TotalBytes() / 1048576.0, options.files, options.chunkMiB, options.nodes);
    Print(bench.RunEngine());
    if (options.manager) Print(bench.RunManager());
    if (options.aria2) Print(bench.RunAria2());
    if (options.curl) Print(bench.RunCurl());
  } catch (const std::exception& e) {
    Die(e.what());  // nginx or a tool that could not start
  }
  return 0;
}
