// One 1 GiB ranged GET over loopback into memory through CurlHttpRequest, against the curl
// command line fetching the same range (to /dev/null) in the same run. The benchmark starts
// its own nginx on a free port, serving a file from tmpfs (/dev/shm), and stops it at the end.
//
//   build/bench/http_bench [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "http/curl_http_request.h"
#include "http/http_write_callback.h"
#include "testing/child_process.h"
#include "testing/nginx_server.h"

namespace zarn {
namespace {

constexpr std::uint64_t kSize = 1ull << 30;
const char* const kFileName = "range.bin";

std::string folder;  // tmpfs folder with the served file
std::unique_ptr<NginxServer> nginx;

std::uint8_t PatternByte(std::uint64_t i) { return static_cast<std::uint8_t>(i * 131 + (i >> 12)); }

void WriteServedFile() {
  std::ofstream out(folder + "/" + kFileName, std::ios::binary);
  std::vector<char> block(1 << 20);
  for (std::uint64_t offset = 0; offset < kSize; offset += block.size()) {
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = PatternByte(offset + i);
    out.write(block.data(), block.size());
  }
}

// Runs a program to its end; its exit code, -1 when it did not exit normally.
int Run(const std::vector<std::string>& argv) {
  ChildProcess child(argv);
  const std::optional<int> status = child.Wait(std::chrono::minutes(10));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

void StartNginx() {
  char base[] = "/dev/shm/zarn-http-bench-XXXXXX";
  if (::mkdtemp(base) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder = base;
  WriteServedFile();
  NginxServer::Options options;
  options.workers = 1;
  nginx = std::make_unique<NginxServer>(folder, options);
}

void StopNginx() {
  nginx.reset();
  if (!folder.empty()) std::filesystem::remove_all(folder);
}

std::string Url() { return "http://" + nginx->Host() + "/" + kFileName; }

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
    request.Reset(HttpRequestParams(params), "");
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
    request.Reset(HttpRequestParams(params), "");
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
    if (Run({"curl", "-s", "-f", "-r", range, "-o", "/dev/null", Url()}) != 0) {
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
  try {
    zarn::StartNginx();
  } catch (const std::exception& e) {
    std::cerr << "http_bench: " << e.what() << "\n";
    zarn::StopNginx();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zarn::StopNginx();
  return 0;
}
