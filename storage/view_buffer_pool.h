#ifndef ZARN_STORAGE_VIEW_BUFFER_POOL_H_
#define ZARN_STORAGE_VIEW_BUFFER_POOL_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace zarn {

// Page-aligned buffers in which views keep the bytes of their range, reused from view to
// view: the first touch of a fresh page costs a fault and a cleared page, a reused buffer
// costs nothing. The live and the idle buffers together never hold more than the budget,
// and no buffer is larger than the largest; a request beyond either gets no buffer (the
// view then works on the file's pages instead). The idle buffers go back to the system
// whenever no buffer is live. Safe to use from any thread.
class ViewBufferPool {
 public:
  // A buffer of at least the length asked for, or none; returns to its pool when
  // destroyed.
  class Buffer {
   public:
    Buffer() = default;
    ~Buffer();
    Buffer(Buffer&& other) noexcept;
    Buffer& operator=(Buffer&& other) noexcept;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    uint8_t* data() const { return data_; }

   private:
    friend class ViewBufferPool;
    Buffer(ViewBufferPool* pool, uint8_t* data, std::size_t capacity)
        : pool_(pool), data_(data), capacity_(capacity) {}
    void Release();

    ViewBufferPool* pool_ = nullptr;
    uint8_t* data_ = nullptr;
    std::size_t capacity_ = 0;
  };

  ViewBufferPool(uint64_t budget, uint64_t largest);
  ~ViewBufferPool();  // every buffer must have come back
  ViewBufferPool(const ViewBufferPool&) = delete;
  ViewBufferPool& operator=(const ViewBufferPool&) = delete;

  // A buffer of `length` bytes (not 0), reused when an idle one is large enough; none when
  // the length is above the largest buffer, the budget has no room, or the system has no
  // memory to give.
  Buffer Acquire(uint64_t length);

  uint64_t live_bytes();
  uint64_t idle_bytes();

  // The process's pool: 16 MiB buffers at most, 128 MiB in all (chunks are a few MiB, and
  // a transfer runs about as many chunks at once as the machine has processors). Never
  // destroyed, so that views released at exit still find it.
  static ViewBufferPool& Shared();

 private:
  struct Idle {
    uint8_t* data;
    std::size_t capacity;
  };

  // Needs no memory: it runs in the destructors of buffers. Acquire makes the idle list's
  // room for a new buffer before handing it out.
  void GiveBack(uint8_t* data, std::size_t capacity) noexcept;

  const uint64_t budget_;
  const uint64_t largest_;
  std::mutex mutex_;        // guards the fields below; never held across more than a list walk
  std::vector<Idle> idle_;  // its capacity holds every live buffer besides
  uint64_t idleBytes_ = 0;
  uint64_t liveBytes_ = 0;
  std::size_t liveBuffers_ = 0;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_VIEW_BUFFER_POOL_H_
