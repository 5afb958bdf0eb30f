#include "transfer/manifest/xml_manifest_tree.h"

#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cstddef>
#include <exception>
#include <functional>
#include <istream>
#include <new>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "transfer/manifest/manifest_exception.h"

// GCC names the sanitizers it builds with in macros, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define ZARN_ADDRESS_SANITIZER 1
#endif
#if defined(__SANITIZE_THREAD__)
#define ZARN_THREAD_SANITIZER 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_ADDRESS_SANITIZER 1
#endif
#if __has_feature(thread_sanitizer)
#define ZARN_THREAD_SANITIZER 1
#endif
#endif
#if defined(ZARN_ADDRESS_SANITIZER)
#include <sanitizer/common_interface_defs.h>
#endif
#if defined(ZARN_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
#endif

namespace zarn {
namespace {

using boost::property_tree::ptree;

constexpr char kAttributes[] = "<xmlattr>";
constexpr char kComment[] = "<xmlcomment>";

// The reader's stack: what it needs beside its recursion, and at most what one level of
// nesting takes (it parses, builds the tree and the tree is destroyed, each recursively).
// Measured at about 400 bytes a level in the optimised build, 1.5 KiB unoptimised and 3 KiB
// under AddressSanitizer; the pages are only reserved until the recursion touches them.
constexpr std::size_t kReaderStackBase = 1u << 20;
#if defined(ZARN_ADDRESS_SANITIZER) || defined(ZARN_THREAD_SANITIZER) || !defined(__OPTIMIZE__)
constexpr std::size_t kReaderStackPerLevel = 8192;
#else
constexpr std::size_t kReaderStackPerLevel = 1024;
#endif

// Hands the reader a text in place, and frees the text once read to its end: the reader
// copies a document whole before it parses it, so the text need not stay beside the
// copy, nor beside the tree it becomes.
class ConsumingReadBuffer : public std::streambuf {
 public:
  explicit ConsumingReadBuffer(std::string& text) : text_(text) {
    setg(text.data(), text.data(), text.data() + text.size());
  }

 protected:
  int_type underflow() override {
    setg(nullptr, nullptr, nullptr);
    std::string().swap(text_);
    return traits_type::eof();
  }

 private:
  std::string& text_;
};

// A stack of its own for work, switched to on the calling thread with the ucontext calls: a
// guard page below it, its pages only reserved until touched. Not a thread of its own, so
// that the tree it builds comes from this thread's heap arena, where the engine reuses it
// once the tree is freed; a tree made on another thread stays resident beside the
// engine's later allocations.
struct Fiber {
  const std::function<void()>* work;
  std::exception_ptr error;
  ucontext_t caller;
  ucontext_t callee;
  // What the sanitizers are told of the switches.
  void* fakeStack = nullptr;
  const void* callerBottom = nullptr;
  std::size_t callerSize = 0;
  void* callerFiber = nullptr;
  void* calleeFiber = nullptr;
};

thread_local Fiber* startingFiber = nullptr;

#if defined(ZARN_ADDRESS_SANITIZER)
void StartSwitch(void** fakeStack, const void* bottom, std::size_t size) {
  __sanitizer_start_switch_fiber(fakeStack, bottom, size);
}
void FinishSwitch(void* fakeStack, const void** bottom, std::size_t* size) {
  __sanitizer_finish_switch_fiber(fakeStack, bottom, size);
}
#else
void StartSwitch(void**, const void*, std::size_t) {}
void FinishSwitch(void*, const void**, std::size_t*) {}
#endif

#if defined(ZARN_THREAD_SANITIZER)
void* CurrentThreadFiber() { return __tsan_get_current_fiber(); }
void* CreateThreadFiber() { return __tsan_create_fiber(0); }
void DestroyThreadFiber(void* fiber) { __tsan_destroy_fiber(fiber); }
void SwitchThreadFiber(void* fiber) { __tsan_switch_to_fiber(fiber, 0); }
#else
void* CurrentThreadFiber() { return nullptr; }
void* CreateThreadFiber() { return nullptr; }
void DestroyThreadFiber(void*) {}
void SwitchThreadFiber(void*) {}
#endif

void RunFiber() {
  Fiber& fiber = *startingFiber;
  FinishSwitch(nullptr, &fiber.callerBottom, &fiber.callerSize);
  try {
    (*fiber.work)();
  } catch (...) {
    fiber.error = std::current_exception();
  }
  // Nothing on this stack is needed once it is left: it is never switched back to.
  StartSwitch(nullptr, fiber.callerBottom, fiber.callerSize);
  SwitchThreadFiber(fiber.callerFiber);
  setcontext(&fiber.caller);
}

// Runs work on a stack of stackBytes, on this thread, and throws what work threw. A stack
// that cannot be had throws std::bad_alloc.
void RunWithStack(std::size_t stackBytes, const std::function<void()>& work) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t size = (stackBytes + page - 1) / page * page + page;
  void* const memory = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  Fiber fiber{&work, nullptr, {}, {}};
  char* const bottom = static_cast<char*>(memory) + page;
  if (mprotect(memory, page, PROT_NONE) != 0 || getcontext(&fiber.callee) != 0) {
    munmap(memory, size);
    throw std::bad_alloc();
  }
  fiber.callee.uc_stack.ss_sp = bottom;
  fiber.callee.uc_stack.ss_size = size - page;
  fiber.callee.uc_link = nullptr;
  makecontext(&fiber.callee, RunFiber, 0);
  startingFiber = &fiber;
  fiber.callerFiber = CurrentThreadFiber();
  fiber.calleeFiber = CreateThreadFiber();
  StartSwitch(&fiber.fakeStack, bottom, size - page);
  SwitchThreadFiber(fiber.calleeFiber);
  swapcontext(&fiber.caller, &fiber.callee);
  FinishSwitch(fiber.fakeStack, nullptr, nullptr);
  DestroyThreadFiber(fiber.calleeFiber);
  munmap(memory, size);
  if (fiber.error) std::rethrow_exception(fiber.error);
}

std::size_t NameSegments(const std::string& name) {
  return 1 + static_cast<std::size_t>(std::count(name.begin(), name.end(), '.'));
}

// The nodes an element's attribute holder stands for once hoisted: itself, and for each
// attribute the node that keeps it and those it is hoisted as.
std::size_t HolderNodes(const ptree& holder) {
  std::size_t nodes = 1;
  for (const auto& attribute : holder) nodes += 1 + NameSegments(attribute.first);
  return nodes;
}

// Whether the tree the reader built is within kMaxXmlDepth and kMaxXmlNodes. Walked
// without recursion, since nothing bounds its depth yet but the '<' count. Attribute
// holders and comments hold no elements: the reader makes attributes and comments leaves.
bool IsWithinBounds(const ptree& document) {
  struct Level {
    ptree::const_iterator next, end;
  };
  std::vector<Level> open;
  open.reserve(kMaxXmlDepth + 1);
  open.push_back({document.begin(), document.end()});
  std::size_t nodes = 0;
  while (!open.empty()) {
    Level& level = open.back();
    if (level.next == level.end) {
      open.pop_back();
      continue;
    }
    const auto& [key, child] = *level.next++;
    if (key == kAttributes) {
      nodes += HolderNodes(child);
    } else {
      ++nodes;
      if (key != kComment && open.size() > static_cast<std::size_t>(kMaxXmlDepth)) return false;
      if (!child.empty()) open.push_back({child.begin(), child.end()});
    }
    if (nodes > kMaxXmlNodes) return false;
  }
  return true;
}

// Reads xml, freeing it once copied, into tree within the bounds; on the reader's own
// stack, so a tree past them is destroyed there too.
void ReadWithinBounds(std::string& xml, ptree& tree) {
  {
    ConsumingReadBuffer buffer(xml);
    std::istream in(&buffer);
    boost::property_tree::read_xml(in, tree);
  }
  std::string().swap(xml);  // the reader may have stopped short of the end
  if (!IsWithinBounds(tree)) {
    ptree().swap(tree);
    throw ManifestParseException();
  }
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The documents take an element whose content is only white space (indentation between
// its children, say) as holding no text. The reader keeps such text, attribute values and
// comments as they stand; only element content is emptied. Recursive: called on a tree
// within kMaxXmlDepth.
void EmptyBlankContent(ptree& element) {
  std::string& text = element.data();
  if (!text.empty() && std::all_of(text.begin(), text.end(), IsXmlSpace)) text.clear();
  for (auto& [key, child] : element) {
    if (key != kAttributes && key != kComment) EmptyBlankContent(child);
  }
}

}  // namespace

void HoistXmlAttributes(ptree& node) {
  for (auto& child : node) {
    if (child.first != kAttributes) HoistXmlAttributes(child.second);
  }
  const auto attributes = node.find(kAttributes);
  if (attributes == node.not_found()) return;
  // Copied first: putting children may reallocate the node's child list.
  const ptree copy = attributes->second;
  for (const auto& attribute : copy) {
    const std::string& name = attribute.first;
    // put_child refuses an empty path (a name ending in '.' would leave one) and walks the
    // path one recursive call per segment.
    if (name.empty() || name.back() == '.' || NameSegments(name) > kMaxXmlNameSegments) {
      throw ManifestParseException();
    }
    node.put_child(ptree::path_type(name, '.'), attribute.second);
  }
}

void ParseXmlManifest(std::string xml, ptree& tree) {
  try {
    const auto markup = static_cast<std::size_t>(std::count(xml.begin(), xml.end(), '<'));
    const auto equals = static_cast<std::size_t>(std::count(xml.begin(), xml.end(), '='));
    if (markup > kMaxXmlMarkup || equals > kMaxXmlAttributes) throw ManifestParseException();
    ptree read;
    RunWithStack(kReaderStackBase + markup * kReaderStackPerLevel,
                 [&] { ReadWithinBounds(xml, read); });
    EmptyBlankContent(read);
    HoistXmlAttributes(read);
    tree.swap(read);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
