#include "storage/view_buffer_pool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <utility>

namespace zarn {
namespace {

std::size_t RoundToPages(uint64_t length) {
  static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return static_cast<std::size_t>((length + page - 1) / page * page);
}

void Unmap(const std::vector<std::pair<uint8_t*, std::size_t>>& buffers) {
  for (const auto& [data, capacity] : buffers) munmap(data, capacity);
}

}  // namespace

ViewBufferPool::Buffer::~Buffer() { Release(); }

ViewBufferPool::Buffer::Buffer(Buffer&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)),
      data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ViewBufferPool::Buffer& ViewBufferPool::Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    Release();
    pool_ = std::exchange(other.pool_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void ViewBufferPool::Buffer::Release() {
  if (data_ != nullptr) pool_->GiveBack(data_, capacity_);
  pool_ = nullptr;
  data_ = nullptr;
  capacity_ = 0;
}

ViewBufferPool::ViewBufferPool(uint64_t budget, uint64_t largest)
    : budget_(budget), largest_(std::min(budget, largest)) {}

ViewBufferPool::~ViewBufferPool() {
  for (const Idle& idle : idle_) munmap(idle.data, idle.capacity);
}

ViewBufferPool& ViewBufferPool::Shared() {
  static ViewBufferPool* const pool = new ViewBufferPool(128ull << 20, 16ull << 20);
  return *pool;
}

ViewBufferPool::Buffer ViewBufferPool::Acquire(uint64_t length) {
  if (length == 0 || length > largest_) return Buffer();
  const std::size_t capacity = RoundToPages(length);
  std::vector<std::pair<uint8_t*, std::size_t>> freed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The smallest idle buffer that is large enough.
    auto best = idle_.end();
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
      if (it->capacity >= capacity && (best == idle_.end() || it->capacity < best->capacity)) {
        best = it;
      }
    }
    if (best != idle_.end()) {
      const Idle reused = *best;
      idle_.erase(best);
      idleBytes_ -= reused.capacity;
      liveBytes_ += reused.capacity;
      ++liveBuffers_;
      return Buffer(this, reused.data, reused.capacity);
    }
    // Idle buffers too small for this length give their room to a new one.
    while (liveBytes_ + idleBytes_ + capacity > budget_ && !idle_.empty()) {
      freed.emplace_back(idle_.back().data, idle_.back().capacity);
      idleBytes_ -= idle_.back().capacity;
      idle_.pop_back();
    }
    if (liveBytes_ + idleBytes_ + capacity > budget_) {
      Unmap(freed);
      return Buffer();
    }
    try {
      idle_.reserve(idle_.size() + liveBuffers_ + 1);
    } catch (const std::bad_alloc&) {
      Unmap(freed);
      return Buffer();
    }
    liveBytes_ += capacity;  // reserved before the lock goes
    ++liveBuffers_;
  }
  Unmap(freed);
  void* data = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) {
    std::lock_guard<std::mutex> lock(mutex_);
    liveBytes_ -= capacity;
    --liveBuffers_;
    return Buffer();
  }
  return Buffer(this, static_cast<uint8_t*>(data), capacity);
}

void ViewBufferPool::GiveBack(uint8_t* data, std::size_t capacity) noexcept {
  std::vector<Idle> freed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    liveBytes_ -= capacity;
    --liveBuffers_;
    idle_.push_back({data, capacity});  // within the capacity made by Acquire
    idleBytes_ += capacity;
    if (liveBytes_ == 0) {
      freed.swap(idle_);
      idleBytes_ = 0;
    }
  }
  for (const Idle& idle : freed) munmap(idle.data, idle.capacity);
}

uint64_t ViewBufferPool::live_bytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return liveBytes_;
}

uint64_t ViewBufferPool::idle_bytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return idleBytes_;
}

}  // namespace zarn
