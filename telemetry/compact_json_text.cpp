#include "telemetry/compact_json_text.h"

#include <boost/property_tree/json_parser/error.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <ostream>
#include <streambuf>

#include "telemetry/compact_json_writer.h"

namespace zarn {
namespace {

// Counts the bytes written and keeps none.
class CountingBuffer : public std::streambuf {
 public:
  std::size_t Count() const { return count_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++count_;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    count_ += static_cast<std::size_t>(n);
    return n;
  }

 private:
  std::size_t count_ = 0;
};

// Writes into a buffer of fixed size; a byte past its end fails the stream.
class FixedBuffer : public std::streambuf {
 public:
  FixedBuffer(char* begin, std::size_t size) { setp(begin, begin + size); }
  bool Full() const { return pptr() == epptr(); }
};

}  // namespace

std::string CompactJsonText(const boost::property_tree::ptree& tree) {
  CountingBuffer counter;
  std::ostream counting(&counter);
  WriteCompactJson(counting, tree);

  std::string text(counter.Count(), '\0');
  FixedBuffer buffer(&text[0], text.size());
  std::ostream out(&buffer);
  WriteCompactJson(out, tree);
  // The tree changed between the two passes: a document shorter than counted.
  if (!buffer.Full())
    throw boost::property_tree::json_parser::json_parser_error("write error", "", 0);
  return text;
}

}  // namespace zarn
