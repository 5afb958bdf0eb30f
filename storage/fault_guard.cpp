#include "storage/fault_guard.h"

#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zarn {
namespace {

// One guarded stretch on this thread's stack. Trivial, so that the signal handler can
// read it without any initialisation of thread-local storage.
struct GuardRecord {
  sigjmp_buf jump;
  uintptr_t begin;
  uintptr_t end;
  GuardRecord* outer;
};

// initial-exec: the handler must not make the first access that allocates the variable.
__attribute__((tls_model("initial-exec"))) thread_local GuardRecord* innermost_guard = nullptr;

struct sigaction previous_bus_action;
struct sigaction previous_segv_action;
std::once_flag install_once;

void PassOn(int signal_number, siginfo_t* info, void* context) {
  const struct sigaction& previous =
      signal_number == SIGBUS ? previous_bus_action : previous_segv_action;
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(signal_number, info, context);
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal_number);
    return;
  }
  // The default action: restore it and let the signal kill the process. A fault comes
  // back when the instruction runs again; a sent signal is delivered once we return.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal_number, &fallback, nullptr);
  raise(signal_number);
}

void OnFault(int signal_number, siginfo_t* info, void* context) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardRecord* guard = innermost_guard; guard != nullptr; guard = guard->outer) {
    if (address >= guard->begin && address < guard->end) {
      innermost_guard = guard->outer;
      siglongjmp(guard->jump, 1);
    }
  }
  PassOn(signal_number, info, context);
}

void InstallHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &previous_bus_action);
  sigaction(SIGSEGV, &action, &previous_segv_action);
}

}  // namespace

bool RunWithFaultGuard(const void* begin, std::size_t length, void (*body)(void* context),
                       void* context) {
  std::call_once(install_once, InstallHandler);
  GuardRecord guard;
  guard.begin = reinterpret_cast<uintptr_t>(begin);
  guard.end = guard.begin + length;
  guard.outer = innermost_guard;
  // The mask is saved and restored by the jump: the handler runs with the signal blocked,
  // and leaving it by a jump that does not restore the mask would keep it blocked.
  if (sigsetjmp(guard.jump, 1) != 0) return false;  // the handler already popped the guard
  innermost_guard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  try {
    body(context);
  } catch (...) {
    // Left in place, the record would outlive this frame, and a later fault would follow it
    // into a dead stack.
    innermost_guard = guard.outer;
    throw;
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
  innermost_guard = guard.outer;
  return true;
}

bool InsideFaultGuard() { return innermost_guard != nullptr; }

}  // namespace zarn
