#ifndef ZARN_UPDATER_TESTING_NO_ROOM_FOR_THREADS_H_
#define ZARN_UPDATER_TESTING_NO_ROOM_FOR_THREADS_H_

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>

namespace zarn {

// For a forked child only: thread stacks of 4 GiB with 1 GiB of address space left, so
// that no thread can start while allocations still succeed. Test support only.
inline void LeaveNoRoomForAThread() {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, std::size_t{4} << 30);
  pthread_setattr_default_np(&attributes);
  pthread_attr_destroy(&attributes);
  unsigned long long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t size = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{1} << 30);
  const rlimit limit{size, size};
  setrlimit(RLIMIT_AS, &limit);
}

}  // namespace zarn

#endif  // ZARN_UPDATER_TESTING_NO_ROOM_FOR_THREADS_H_
