// One 1 GiB ranged GET over loopback into memory through CurlHttpRequest, against the curl
// command line fetching the same range (to /dev/null) in the same run. The benchmark starts its own nginx
// on a free port, serving a file from tmpfs (/dev/shm), and stops it at the end.
//
//   build/bench/http_bench [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "http/curl_http_request.h"
#include "http/http_write_callback.h"
#include "testing/loopback_port.h"

extern char** environ;

namespace zarn {
namespace {

constexpr std::uint64_t kSize = 1ull << 30;
const char* const kFileName = "range.bin";

std::string folder;  // tmpfs folder with the served file and nginx's own files
std::uint16_t port = 0;
pid_t nginx = 0;



std::uint8_t PatternByte(std::uint64_t i) { return static_cast<std::uint8_t>(i * 131 + (i >> 12)); }

void WriteServedFile() {
  std::ofstream out(folder + "/" + kFileName, std::ios::binary);
  std::vector<char> block(1 << 20);
  for (std::uint64_t offset = 0; offset < kSize; offset += block.size()) {
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = PatternByte(offset + i);
    out.write(block.data(), block.size());
  }
}

int Spawn(std::vector<std::string> args, bool wait) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  if (!wait) return pid;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool StartNginx() {
  char base[] = "/dev/shm/zarn-http-bench-XXXXXX";
  if (::mkdtemp(base) == nullptr) return false;
  folder = base;
  ::chmod(folder.c_str(), 0755);  // nginx's workers may run as another user
  WriteServedFile();
  port = FreePort();
  std::ofstream(folder + "/nginx.conf")
      << "daemon off;\nworker_processes 1;\npid " << folder << "/nginx.pid;\n"
      << "error_log " << folder << "/error.log;\n"
      << "events { worker_connections 64; }\n"
      << "http {\n  access_log off;\n  sendfile on;\n  tcp_nopush on;\n"
      << "  client_body_temp_path " << folder << "/body;\n"
      << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << folder << ";\n"
      << "  }\n}\n";
  nginx = Spawn({"nginx", "-e", folder + "/error.log", "-p", folder, "-c",
                 folder + "/nginx.conf"},
                false);
  if (nginx <= 0) return false;
  for (int i = 0; i < 500; ++i) {
    if (PortAccepts(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void StopNginx() {
  if (nginx > 0) {
    ::kill(nginx, SIGQUIT);
    ::waitpid(nginx, nullptr, 0);
  }
  if (!folder.empty()) std::filesystem::remove_all(folder);
}

std::string Url() { return "http://127.0.0.1:" + std::to_string(port) + "/" + kFileName; }

// Copies the body into one preallocated buffer, as a chunk writer copies into its view.
class MemorySink : public HttpWriteCallback {
 public:
  explicit MemorySink(std::uint8_t* buffer) : buffer_(buffer) {}
  HttpRequestStatus Write(const std::uint8_t* data, std::uint32_t length) override {
    if (offset_ + length > kSize) return HttpRequestStatus(HttpRequestResult::RangeError, 0);
    std::memcpy(buffer_ + offset_, data, length);
    offset_ += length;
    return HttpRequestStatus(HttpRequestResult::Succeeded, length);
  }
  void Rewind() { offset_ = 0; }

 private:
  std::uint8_t* buffer_;
  std::uint64_t offset_ = 0;
};

void BM_CurlHttpRequestRangedGet(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(kSize, 0);  // touched once, outside the timing
  MemorySink sink(buffer.data());
  HttpRequestParams params(Url(), &sink);
  params.rangeBegin = 0;
  params.rangeEnd = kSize - 1;
  CurlHttpRequest request(params, "");
  for (auto _ : state) {
    sink.Rewind();
    request.Reset(params, "");
    const HttpRequestStatus status = request.Perform();
    if (status.result != HttpRequestResult::Succeeded || status.bytes != kSize) {
      state.SkipWithError(("request failed: " + status.message).c_str());
      return;
    }
  }
  for (std::uint64_t i = 0; i < kSize; i += 4093) {
    if (buffer[i] != PatternByte(i)) {
      state.SkipWithError("the body is not the file");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// The same request into a sink that only counts: the cost of the request without the copy,
// comparable with the command line writing to /dev/null.
class CountingSink : public HttpWriteCallback {
 public:
  HttpRequestStatus Write(const std::uint8_t*, std::uint32_t length) override {
    return HttpRequestStatus(HttpRequestResult::Succeeded, length);
  }
};

void BM_CurlHttpRequestRangedGetDiscarded(benchmark::State& state) {
  CountingSink sink;
  HttpRequestParams params(Url(), &sink);
  params.rangeBegin = 0;
  params.rangeEnd = kSize - 1;
  CurlHttpRequest request(params, "");
  for (auto _ : state) {
    request.Reset(params, "");
    const HttpRequestStatus status = request.Perform();
    if (status.result != HttpRequestResult::Succeeded || status.bytes != kSize) {
      state.SkipWithError(("request failed: " + status.message).c_str());
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_CurlCommandLineRangedGet(benchmark::State& state) {
  const std::string range = "0-" + std::to_string(kSize - 1);
  for (auto _ : state) {
    if (Spawn({"curl", "-s", "-f", "-r", range, "-o", "/dev/null", Url()}, true) != 0) {
      state.SkipWithError("curl failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

BENCHMARK(BM_CurlHttpRequestRangedGet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlHttpRequestRangedGetDiscarded)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_CurlCommandLineRangedGet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace zarn

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!zarn::StartNginx()) {
    std::cerr << "http_bench: nginx did not start (see " << zarn::folder << "/error.log)\n";
    zarn::StopNginx();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zarn::StopNginx();
  return 0;
}
