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
#include <memory>
#include <new>
#include <string>

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
namespace rapidxml = boost::property_tree::detail::rapidxml;
using XmlDocument = rapidxml::xml_document<char>;
using XmlNode = rapidxml::xml_node<char>;

constexpr char kAttributes[] = "<xmlattr>";
constexpr char kComment[] = "<xmlcomment>";

// The reader's stack: what it needs beside its recursion, and at most what one level of
// nesting takes while it parses. Measured at about 400 bytes a level in the optimised
// build, 1.5 KiB unoptimised and 3 KiB under AddressSanitizer, when the tree was also
// built and destroyed on it; the pages are only reserved until the recursion touches them.
constexpr std::size_t kReaderStackBase = 1u << 20;
#if defined(ZARN_ADDRESS_SANITIZER) || defined(ZARN_THREAD_SANITIZER) || !defined(__OPTIMIZE__)
constexpr std::size_t kReaderStackPerLevel = 8192;
#else
constexpr std::size_t kReaderStackPerLevel = 1024;
#endif

// The flags the property tree's read_xml hands rapidxml at its default settings.
constexpr int kReaderFlags = rapidxml::parse_comment_nodes;

// A stack of its own for work, switched to on the calling thread with the ucontext calls: a
// guard page below it, its pages only reserved until touched. Not a thread of its own, so
// that what it allocates comes from this thread's heap arena, where the engine reuses it
// once freed; memory freed on another thread stays resident beside the engine's later
// allocations.
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

std::size_t NameSegments(const char* name, std::size_t size) {
  return 1 + static_cast<std::size_t>(std::count(name, name + size, '.'));
}

std::size_t NameSegments(const std::string& name) { return NameSegments(name.data(), name.size()); }

// The nodes an element's attributes become in the tree once hoisted: their holder, and
// for each attribute the node that keeps it and those it is hoisted as.
std::size_t AttributeNodes(const XmlNode& element) {
  const auto* attribute = element.first_attribute();
  if (attribute == nullptr) return 0;
  std::size_t nodes = 1;
  for (; attribute != nullptr; attribute = attribute->next_attribute()) {
    nodes += 1 + NameSegments(attribute->name(), attribute->name_size());
  }
  return nodes;
}

// The next node of the document after node in document order, its children first when
// descend; depth follows it. Null at the end.
const XmlNode* Next(const XmlDocument& document, const XmlNode* node, bool descend,
                    std::size_t& depth) {
  if (descend && node->first_node() != nullptr) {
    ++depth;
    return node->first_node();
  }
  while (node->next_sibling() == nullptr) {
    node = node->parent();
    if (node == &document) return nullptr;
    --depth;
  }
  return node->next_sibling();
}

// Whether the tree the document becomes is within kMaxXmlDepth and kMaxXmlNodes, counted
// on what rapidxml read before the tree is built. read_xml makes an element a node with
// its attributes' holder and a comment a node; text and CDATA become their element's
// value, and rapidxml keeps no other nodes at these flags. Walked without recursion,
// since nothing bounds the depth yet but the '<' count. Comments and text hold nothing.
bool IsWithinBounds(const XmlDocument& document) {
  std::size_t nodes = 0;
  std::size_t depth = 1;
  for (const XmlNode* node = document.first_node(); node != nullptr;) {
    const bool element = node->type() == rapidxml::node_element;
    if (element) {
      if (depth > static_cast<std::size_t>(kMaxXmlDepth)) return false;
      nodes += 1 + AttributeNodes(*node);
    } else if (node->type() == rapidxml::node_comment) {
      ++nodes;
    }
    if (nodes > kMaxXmlNodes) return false;
    node = Next(document, node, element, depth);
  }
  return true;
}

// Reads xml, of `markup` '<' bytes, into tree as the property tree's read_xml does at its
// default settings, but in place, without read_xml's copy of the text, and with the
// bounds checked before the tree is built, so that no tree past them is ever made.
// rapidxml recurses once per level of nesting, which the '<' count bounds: it parses on a
// stack sized from that count. The text is freed once the tree is built.
void ReadWithinBounds(std::string& xml, std::size_t markup, ptree& tree) {
  const auto document = std::make_unique<XmlDocument>();  // 64 KiB before its first block
  RunWithStack(kReaderStackBase + markup * kReaderStackPerLevel,
               [&] { document->parse<kReaderFlags>(xml.data()); });
  if (!IsWithinBounds(*document)) throw ManifestParseException();
  // Within kMaxXmlDepth now, so read_xml's own recursive conversion may run here.
  ptree read;
  for (XmlNode* child = document->first_node(); child != nullptr; child = child->next_sibling()) {
    boost::property_tree::xml_parser::read_xml_node(child, read, 0);
  }
  std::string().swap(xml);
  tree.swap(read);
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
    ReadWithinBounds(xml, markup, read);
    EmptyBlankContent(read);
    HoistXmlAttributes(read);
    tree.swap(read);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
