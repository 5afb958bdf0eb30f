// Throughput of the storage layer's hot paths: the CRC-32 of a mapped chunk, and writing
// downloaded bytes through mapped views from many threads, each against its alternative.
//
//   build/bench/storage_bench [--benchmark_filter=...]
//
// The files live in /dev/shm (tmpfs) when it exists, so that the disk does not set the pace.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <boost/crc.hpp>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "storage/crc32.h"
#include "storage/memory_mapped_file_data.h"
#include "storage/posix_shared_file_factory.h"

namespace zarn {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// A fresh folder on tmpfs (or the temporary folder), removed at the end.
class BenchFolder {
 public:
  BenchFolder() {
    const std::filesystem::path root = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (root / "zarn-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A file of `size` bytes of varied content, and a view of all of it.
struct MappedChunk {
  explicit MappedChunk(uint64_t size) {
    file = factory.Create(folder.path(), "chunk", SharedFileOpenMode::CreateNew, 0, size - 1);
    file->Allocate(size);
    view = file->Map();
    for (uint64_t i = 0; i < size; ++i) view->Data()[i] = static_cast<uint8_t>(i * 131 + 7);
  }
  BenchFolder folder;
  PosixSharedFileFactory factory;
  std::shared_ptr<SharedFile> file;
  std::shared_ptr<MemoryMappedFileData> view;
};

void BM_Crc32OverMappedView(benchmark::State& state) {
  MappedChunk chunk(static_cast<uint64_t>(state.range(0)) * kMiB);
  uint32_t crc = 0;
  for (auto _ : state) {
    crc =
        chunk.view->Apply([](const uint8_t* data, uint32_t length) { return Crc32(data, length); });
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * kMiB);
}
BENCHMARK(BM_Crc32OverMappedView)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_BoostCrc32OverMappedView(benchmark::State& state) {
  MappedChunk chunk(static_cast<uint64_t>(state.range(0)) * kMiB);
  uint32_t crc = 0;
  for (auto _ : state) {
    crc = chunk.view->Apply([](const uint8_t* data, uint32_t length) {
      boost::crc_32_type boost_crc;
      boost_crc.process_bytes(data, length);
      return boost_crc.checksum();
    });
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * kMiB);
}
BENCHMARK(BM_BoostCrc32OverMappedView)->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond);

// 1 GiB written from 8 threads, each writing its own 4 MiB chunks in the 16 KiB pieces that
// an HTTP body arrives in.
constexpr int kThreads = 8;
constexpr uint64_t kTotal = 1024 * kMiB;
constexpr uint64_t kChunk = 4 * kMiB;
constexpr uint32_t kPiece = 16 * 1024;

struct WriteTarget {
  WriteTarget() {
    file = factory.Create(folder.path(), "target", SharedFileOpenMode::CreateNew, 0, kTotal - 1);
    file->Allocate(kTotal);
    for (uint32_t i = 0; i < kPiece; ++i) piece[i] = static_cast<char>(i * 31);
  }
  BenchFolder folder;
  PosixSharedFileFactory factory;
  std::shared_ptr<SharedFile> file;
  char piece[kPiece];
};

template <typename WriteChunk>
void WriteFromThreads(WriteChunk write_chunk) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &write_chunk] {
      for (uint64_t chunk = t; chunk * kChunk < kTotal; chunk += kThreads) {
        write_chunk(chunk * kChunk);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

void BM_WriteThroughViews(benchmark::State& state) {
  WriteTarget target;
  for (auto _ : state) {
    WriteFromThreads([&target](uint64_t offset) {
      const auto view = target.file->Map(offset, offset + kChunk - 1);
      for (uint64_t done = 0; done < kChunk; done += kPiece) view->Write(target.piece, kPiece);
    });
  }
  state.SetBytesProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_WriteThroughViews)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same, each view's pages brought in first as the engine's prefetch step does.
void BM_WriteThroughFetchedViews(benchmark::State& state) {
  WriteTarget target;
  for (auto _ : state) {
    WriteFromThreads([&target](uint64_t offset) {
      const auto view = target.file->Map(offset, offset + kChunk - 1);
      view->Fetch();
      for (uint64_t done = 0; done < kChunk; done += kPiece) view->Write(target.piece, kPiece);
    });
  }
  state.SetBytesProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_WriteThroughFetchedViews)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteWithPwrite(benchmark::State& state) {
  WriteTarget target;
  const std::string path = target.folder.path() + "/target";
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  for (auto _ : state) {
    WriteFromThreads([&target, fd](uint64_t offset) {
      for (uint64_t done = 0; done < kChunk; done += kPiece) {
        if (pwrite(fd, target.piece, kPiece, static_cast<off_t>(offset + done)) != kPiece) {
          throw std::runtime_error("pwrite failed");
        }
      }
    });
  }
  close(fd);
  state.SetBytesProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_WriteWithPwrite)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zarn

BENCHMARK_MAIN();
