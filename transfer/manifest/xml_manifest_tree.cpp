#include "transfer/manifest/xml_manifest_tree.h"

#include <expat.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
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

// The bytes of a document are taken as they stand, whatever encoding its declaration names:
// expat reads them in an encoding of this reader's own, in which each byte is a character.
// A byte above 0x7F reads as its stand-in, U+4E00 plus the byte less 0x80: a letter, so
// that such bytes may also stand in names, written in UTF-8 as E4, then B8 plus the byte's
// bit 6, then 0x80 plus its low six bits. The values the tree is built of have each
// stand-in put back as its byte.
constexpr char kByteEncoding[] = "x-bytes";
constexpr int kFirstStandIn = 0x4E00;
constexpr std::size_t kStandInBytes = 3;

int ByteEncoding(void*, const XML_Char*, XML_Encoding* info) {
  for (int byte = 0; byte < 0x100; ++byte) {
    info->map[byte] = byte < 0x80 ? byte : kFirstStandIn + byte - 0x80;
  }
  info->data = nullptr;
  info->convert = nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// Appends what expat read from bytes that stand for themselves (no reference among them),
// each stand-in put back as its byte.
void AppendAsBytes(std::string_view read, std::string& out) {
  while (!read.empty()) {
    const auto standIn = std::find_if(read.begin(), read.end(), [](char c) { return c & 0x80; });
    const std::size_t ascii = static_cast<std::size_t>(standIn - read.begin());
    out.append(read.substr(0, ascii));
    if (ascii == read.size()) return;
    out += static_cast<char>(0x80 | (read[ascii + 1] & 1) << 6 | (read[ascii + 2] & 0x3F));
    read.remove_prefix(ascii + kStandInBytes);
  }
}

std::string AsBytes(std::string_view read) {
  std::string bytes;
  AppendAsBytes(read, bytes);
  return bytes;
}

// The bytes of UTF-8 that a character beginning with lead takes.
std::size_t Utf8Length(char lead) {
  const auto byte = static_cast<unsigned char>(lead);
  return byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
}

// The source between the quotes of the next attribute value of a start tag from at on;
// at moves past it. No name holds a quote, so the next quote opens the value.
std::string_view NextQuotedValue(std::string_view tag, std::size_t& at) {
  const std::size_t open = tag.find_first_of("'\"", at);
  const std::size_t close = tag.find(tag[open], open + 1);
  at = close + 1;
  return tag.substr(open + 1, close - open - 1);
}

// An attribute value as expat read it (read) with each byte of its source above 0x7F put
// back as it stands. A character reference may name a stand-in, so the value is walked
// beside its source: each source byte above 0x7F read as its stand-in, and every other
// character of the source (a reference, "\r\n" or one byte) as one character.
std::string AttributeValue(std::string_view read, std::string_view source) {
  if (IsAscii(read)) return std::string(read);
  std::string value;
  std::size_t r = 0;
  for (std::size_t s = 0; s < source.size(); ++s) {
    if ((source[s] & 0x80) != 0) {
      value += source[s];
      r += kStandInBytes;
      continue;
    }
    if (source[s] == '&') {
      s = source.find(';', s);
    } else if (source.compare(s, 2, "\r\n") == 0) {
      ++s;
    }
    const std::size_t length = Utf8Length(read[r]);
    value.append(read.substr(r, length));
    r += length;
  }
  return value;
}

// What expat is given of a document. As the property tree's reader does, it stops at the
// first NUL, and skips a UTF-8 byte-order mark and the white space that follows (expat refuses
// it before a declaration). A document that starts as UTF-16 does is left whole for expat
// to decode: its characters, not its bytes, are the text.
struct XmlInput {
  std::string_view text;
  bool utf16;
};

bool StartsAsUtf16(std::string_view xml) {
  const std::string_view start = xml.substr(0, 2);
  return start == "\xff\xfe" || start == "\xfe\xff" || start == std::string_view("<\0", 2) ||
         start == std::string_view("\0<", 2);
}

XmlInput ToRead(std::string_view xml) {
  if (StartsAsUtf16(xml)) return {xml, true};
  if (xml.substr(0, 3) == "\xef\xbb\xbf") xml.remove_prefix(3);
  xml.remove_prefix(std::min(xml.find_first_not_of(" \t\r\n"), xml.size()));
  return {xml.substr(0, xml.find('\0')), false};
}

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
  BoundedXmlPass(ptree* tree, XmlInput input);

  // Whether the input is a well-formed document within the bounds.
  bool Read();

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
  static void OnCdataEnd(void* pass);
  static void OnDoctype(void* pass, const XML_Char* name, const XML_Char* systemId,
                        const XML_Char* publicId, int hasInternalSubset);

  // Adds nodes to the count; false, with the parse refused, past the bound.
  bool Count(std::size_t nodes);
  // Stops the parse for good. expat may still report the rest of the current token.
  void Refuse();
  // The input from the start of what expat reports now.
  std::string_view Source() const;
  // What expat read of bytes that stand for themselves, as they stand.
  std::string Bytes(std::string_view read) const;

  ptree* const tree_;
  const XmlInput input_;
  std::vector<ptree*> open_;  // the tree, then the open elements, innermost last
  std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
  int depth_ = 0;
  std::size_t nodes_ = 0;
  bool inCdata_ = false;
  bool refused_ = false;
};

BoundedXmlPass::BoundedXmlPass(ptree* tree, XmlInput input)
    : tree_(tree),
      input_(input),
      open_(1, tree),
      // An encoding given here overrides the one a declaration names.
      parser_(
          XML_ParserCreate_MM(input.utf16 ? "UTF-16" : kByteEncoding, &kReaderMemory, nullptr)) {
  if (parser_ == nullptr) throw std::bad_alloc();
  XML_Parser parser = parser_.get();
  XML_SetUserData(parser, this);
  XML_SetUnknownEncodingHandler(parser, ByteEncoding, nullptr);
  XML_SetElementHandler(parser, OnStartElement, OnEndElement);
  if (tree_ != nullptr) XML_SetCharacterDataHandler(parser, OnText);
  XML_SetCommentHandler(parser, OnComment);
  XML_SetProcessingInstructionHandler(parser, OnInstruction);
  XML_SetCdataSectionHandler(parser, OnCdataStart, OnCdataEnd);
  XML_SetStartDoctypeDeclHandler(parser, OnDoctype);
}

bool BoundedXmlPass::Read() {
  const std::string_view xml = input_.text;
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

std::string_view BoundedXmlPass::Source() const {
  return input_.text.substr(static_cast<std::size_t>(XML_GetCurrentByteIndex(parser_.get())));
}

std::string BoundedXmlPass::Bytes(std::string_view read) const {
  return input_.utf16 ? std::string(read) : AsBytes(read);
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
    ptree& element = self.open_.back()->push_back({self.Bytes(name), ptree()})->second;
    self.open_.push_back(&element);
    if (*attributes == nullptr) return;
    ptree& held = element.push_back({kAttributes, ptree()})->second;
    const std::string_view tag = self.input_.utf16 ? std::string_view() : self.Source();
    std::size_t at = 0;
    for (; *attributes != nullptr; attributes += 2) {
      const std::string_view read = attributes[1];
      held.push_back({self.Bytes(attributes[0]),
                      ptree(self.input_.utf16 ? std::string(read)
                                              : AttributeValue(read, NextQuotedValue(tag, at)))});
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
    const std::string_view read(text, static_cast<std::size_t>(length));
    std::string& value = self.open_.back()->data();
    const std::string_view source = self.input_.utf16 ? std::string_view() : self.Source();
    // A line break reads as "\n", and a reference, which is reported alone, as its UTF-8;
    // other text stands as it is in the source, which spares putting back its stand-ins.
    if (self.input_.utf16 || read == "\n" || (!self.inCdata_ && source.front() == '&')) {
      value.append(read);
    } else {
      value.append(
          source.substr(0, static_cast<std::size_t>(XML_GetCurrentByteCount(self.parser_.get()))));
    }
  });
}

void BoundedXmlPass::OnComment(void* pass, const XML_Char* text) {
  Handle(pass, [&](BoundedXmlPass& self) {
    if (self.Count(1) && self.tree_ != nullptr) {
      self.open_.back()->push_back({kComment, ptree(self.Bytes(text))});
    }
  });
}

void BoundedXmlPass::OnInstruction(void* pass, const XML_Char*, const XML_Char*) {
  Handle(pass, [](BoundedXmlPass& self) { self.Count(1); });
}

void BoundedXmlPass::OnCdataStart(void* pass) {
  Handle(pass, [](BoundedXmlPass& self) {
    self.inCdata_ = true;
    self.Count(1);
  });
}

void BoundedXmlPass::OnCdataEnd(void* pass) {
  Handle(pass, [](BoundedXmlPass& self) { self.inCdata_ = false; });
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
    const XmlInput input = ToRead(xml);
    if (!BoundedXmlPass(nullptr, input).Read()) throw ManifestParseException();
    ptree read;
    if (!BoundedXmlPass(&read, input).Read()) throw ManifestParseException();
    std::string().swap(xml);  // the text is no longer needed by the time the tree grows
    EmptyBlankValues(read);
    HoistXmlAttributes(read);
    tree.swap(read);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
