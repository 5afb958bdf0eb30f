#include "transfer/manifest/xml_manifest_tree.h"

#include <expat.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

using boost::property_tree::ptree;

constexpr char kAttributes[] = "<xmlattr>";
constexpr char kComment[] = "<xmlcomment>";

// The text is handed to the parser this much at a time, so that the parser's own copy of
// it holds one piece and the one token that piece may leave unfinished, not the document.
// An unfinished token is scanned again with every piece: pieces much smaller would make
// a long one costly.
constexpr std::size_t kPieceBytes = 4u << 20;

// The parser's memory is refused past kMaxXmlReaderBytes: readerBytes counts the live bytes
// it allocated on this thread. The memory-handling suite takes no context; a pass runs on
// one thread from its start to its end, so the count of its thread is the pass's own.
thread_local std::size_t readerBytes = 0;

// Each block starts with its size, so that a free knows how much it returns.
struct alignas(std::max_align_t) BlockHeader {
  std::size_t size;
};

void* ReaderMalloc(std::size_t size) {
  if (size > kMaxXmlReaderBytes - readerBytes) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  header->size = size;
  readerBytes += size;
  return header + 1;
}

void ReaderFree(void* block) {
  if (block == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  readerBytes -= header->size;
  std::free(header);
}

void* ReaderRealloc(void* block, std::size_t size) {
  if (block == nullptr) return ReaderMalloc(size);
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  const std::size_t old = header->size;
  if (size > old && size - old > kMaxXmlReaderBytes - readerBytes) return nullptr;
  auto* moved = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + size));
  if (moved == nullptr) return nullptr;
  readerBytes = readerBytes - old + size;
  moved->size = size;
  return moved + 1;
}

constexpr XML_Memory_Handling_Suite kReaderMemory = {ReaderMalloc, ReaderRealloc, ReaderFree};

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsOnlyXmlSpace(const std::string& text) {
  return std::all_of(text.begin(), text.end(), IsXmlSpace);
}

// The documents treat text made only of white space as empty.
void EmptyBlankValues(ptree& node) {
  if (!node.data().empty() && IsOnlyXmlSpace(node.data())) node.data().clear();
  for (auto& child : node) EmptyBlankValues(child.second);
}

std::size_t Dots(const XML_Char* name) {
  std::size_t dots = 0;
  for (; *name != '\0'; ++name) dots += *name == '.';
  return dots;
}

// The nodes a start tag becomes once its attributes are hoisted: the element and, when it
// has attributes, their holder, and for each attribute the node that keeps it and the
// nodes it is hoisted as (one per segment of its name).
std::size_t StartTagNodes(const XML_Char** attributes) {
  std::size_t nodes = *attributes != nullptr ? 2 : 1;
  for (; *attributes != nullptr; attributes += 2) nodes += 2 + Dots(attributes[0]);
  return nodes;
}

// One pass of expat over a document, bounded as it goes: a DOCTYPE, an element nested
// deeper than kMaxXmlDepth or a node past kMaxXmlNodes stops the parse at once. Elements,
// comments, CDATA sections and processing instructions count one node each, a start tag's
// attributes as StartTagNodes says. Given a tree, the pass also builds it as
// ParseXmlManifest describes (blank values are emptied and attributes hoisted later).
class BoundedXmlPass {
 public:
  // Counts only when tree is null.
  explicit BoundedXmlPass(ptree* tree);

  // Whether xml is a well-formed document within the bounds.
  bool Read(const std::string& xml);

 private:
  struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
  };

  // Runs handler on the pass unless the parse was refused. An exception (memory running
  // out as the tree grows) may not unwind through the parser's C code: it refuses instead.
  template <typename Handler>
  static void Handle(void* pass, Handler handler);
  static void OnStartElement(void* pass, const XML_Char* name, const XML_Char** attributes);
  static void OnEndElement(void* pass, const XML_Char* name);
  static void OnText(void* pass, const XML_Char* text, int length);
  static void OnComment(void* pass, const XML_Char* text);
  static void OnInstruction(void* pass, const XML_Char* target, const XML_Char* data);
  static void OnCdataStart(void* pass);
  static void OnDoctype(void* pass, const XML_Char* name, const XML_Char* systemId,
                        const XML_Char* publicId, int hasInternalSubset);

  // Adds nodes to the count; false, with the parse refused, past the bound.
  bool Count(std::size_t nodes);
  // Stops the parse for good. expat may still report the rest of the current token.
  void Refuse();

  ptree* const tree_;
  std::vector<ptree*> open_;  // the tree, then the open elements, innermost last
  std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
  int depth_ = 0;
  std::size_t nodes_ = 0;
  bool refused_ = false;
};

BoundedXmlPass::BoundedXmlPass(ptree* tree)
    : tree_(tree),
      open_(1, tree),
      // The bytes are UTF-8 whatever encoding the XML declaration names.
      parser_(XML_ParserCreate_MM("UTF-8", &kReaderMemory, nullptr)) {
  if (parser_ == nullptr) throw std::bad_alloc();
  XML_Parser parser = parser_.get();
  XML_SetUserData(parser, this);
  XML_SetElementHandler(parser, OnStartElement, OnEndElement);
  if (tree_ != nullptr) XML_SetCharacterDataHandler(parser, OnText);
  XML_SetCommentHandler(parser, OnComment);
  XML_SetProcessingInstructionHandler(parser, OnInstruction);
  XML_SetStartCdataSectionHandler(parser, OnCdataStart);
  XML_SetStartDoctypeDeclHandler(parser, OnDoctype);
}

bool BoundedXmlPass::Read(const std::string& xml) {
  std::size_t fed = 0;
  do {
    const std::size_t piece = std::min(kPieceBytes, xml.size() - fed);
    fed += piece;
    if (XML_Parse(parser_.get(), xml.data() + fed - piece, static_cast<int>(piece),
                  fed == xml.size()) != XML_STATUS_OK) {
      return false;
    }
  } while (fed < xml.size());
  return !refused_;
}

bool BoundedXmlPass::Count(std::size_t nodes) {
  nodes_ += nodes;
  if (nodes_ <= kMaxXmlNodes) return true;
  Refuse();
  return false;
}

void BoundedXmlPass::Refuse() {
  refused_ = true;
  XML_StopParser(parser_.get(), XML_FALSE);
}

template <typename Handler>
void BoundedXmlPass::Handle(void* pass, Handler handler) {
  auto& self = *static_cast<BoundedXmlPass*>(pass);
  if (self.refused_) return;
  try {
    handler(self);
  } catch (...) {
    self.Refuse();
  }
}

void BoundedXmlPass::OnStartElement(void* pass, const XML_Char* name, const XML_Char** attributes) {
  Handle(pass, [&](BoundedXmlPass& self) {
    if (++self.depth_ > kMaxXmlDepth) return self.Refuse();
    if (!self.Count(StartTagNodes(attributes)) || self.tree_ == nullptr) return;
    ptree& element = self.open_.back()->push_back({name, ptree()})->second;
    self.open_.push_back(&element);
    if (*attributes == nullptr) return;
    ptree& held = element.push_back({kAttributes, ptree()})->second;
    for (; *attributes != nullptr; attributes += 2) {
      held.push_back({attributes[0], ptree(attributes[1])});
    }
  });
}

void BoundedXmlPass::OnEndElement(void* pass, const XML_Char*) {
  Handle(pass, [](BoundedXmlPass& self) {
    --self.depth_;
    if (self.tree_ != nullptr) self.open_.pop_back();
  });
}

void BoundedXmlPass::OnText(void* pass, const XML_Char* text, int length) {
  Handle(pass, [&](BoundedXmlPass& self) {
    self.open_.back()->data().append(text, static_cast<std::size_t>(length));
  });
}

void BoundedXmlPass::OnComment(void* pass, const XML_Char* text) {
  Handle(pass, [&](BoundedXmlPass& self) {
    if (self.Count(1) && self.tree_ != nullptr) {
      self.open_.back()->push_back({kComment, ptree(text)});
    }
  });
}

void BoundedXmlPass::OnInstruction(void* pass, const XML_Char*, const XML_Char*) {
  Handle(pass, [](BoundedXmlPass& self) { self.Count(1); });
}

void BoundedXmlPass::OnCdataStart(void* pass) {
  Handle(pass, [](BoundedXmlPass& self) { self.Count(1); });
}

// The documents need no DOCTYPE; refusing it leaves no entity to declare or load.
void BoundedXmlPass::OnDoctype(void* pass, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Handle(pass, [](BoundedXmlPass& self) { self.Refuse(); });
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
    if (name.empty() || name.back() == '.' ||
        static_cast<std::size_t>(std::count(name.begin(), name.end(), '.')) >=
            kMaxXmlNameSegments) {
      throw ManifestParseException();
    }
    node.put_child(ptree::path_type(name, '.'), attribute.second);
  }
}

void ParseXmlManifest(std::string xml, ptree& tree) {
  try {
    // The first pass only counts, so that a document past the bounds is refused before
    // any tree is paid for; the second counts again as it builds.
    if (!BoundedXmlPass(nullptr).Read(xml)) throw ManifestParseException();
    ptree read;
    if (!BoundedXmlPass(&read).Read(xml)) throw ManifestParseException();
    std::string().swap(xml);  // the text is no longer needed by the time the tree grows
    EmptyBlankValues(read);
    HoistXmlAttributes(read);
    tree.swap(read);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
