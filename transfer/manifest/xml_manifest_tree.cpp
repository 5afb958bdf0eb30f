#include "transfer/manifest/xml_manifest_tree.h"

#include <pthread.h>

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
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__OPTIMIZE__)
constexpr std::size_t kReaderStackPerLevel = 8192;
#else
constexpr std::size_t kReaderStackPerLevel = 1024;
#endif

// Reads a string in place: the reader copies the document once more, a stream need not.
class StringReadBuffer : public std::streambuf {
 public:
  explicit StringReadBuffer(std::string& text) {
    setg(text.data(), text.data(), text.data() + text.size());
  }
};

struct StackTask {
  const std::function<void()>* work;
  std::exception_ptr error;
};

void* RunStackTask(void* argument) {
  auto* task = static_cast<StackTask*>(argument);
  try {
    (*task->work)();
  } catch (...) {
    task->error = std::current_exception();
  }
  return nullptr;
}

// Runs work on a thread of its own whose stack holds stackBytes, waits for it, and throws
// what work threw. A thread that cannot be made throws std::bad_alloc.
void RunWithStack(std::size_t stackBytes, const std::function<void()>& work) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) throw std::bad_alloc();
  StackTask task{&work, nullptr};
  pthread_t thread;
  const bool created = pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
                       pthread_create(&thread, &attributes, RunStackTask, &task) == 0;
  pthread_attr_destroy(&attributes);
  if (!created) throw std::bad_alloc();
  pthread_join(thread, nullptr);
  if (task.error) std::rethrow_exception(task.error);
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

// Reads xml, freeing it once read, into tree within the bounds; on the reader's own
// thread, so a tree past them is destroyed there too.
void ReadWithinBounds(std::string& xml, ptree& tree) {
  {
    StringReadBuffer buffer(xml);
    std::istream in(&buffer);
    boost::property_tree::read_xml(in, tree);
  }
  std::string().swap(xml);
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
