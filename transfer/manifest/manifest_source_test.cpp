#include "transfer/manifest/manifest_source.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <string>

#include "transfer/manifest/input_manifest.h"
#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

// A source that serves one fixed text, or fails with a stream error.
class FixedSource : public ManifestSource {
 public:
  explicit FixedSource(std::string text, bool failRead = false)
      : text_(std::move(text)), failRead_(failRead) {}
  void Read(const std::string& id, std::string& out) override {
    readId = id;
    if (failRead_) throw ManifestStreamException("connection refused");
    out += text_;
  }
  void Parse(std::string text, boost::property_tree::ptree& tree) override {
    tree.put("text", text);
  }
  std::string readId;

 private:
  std::string text_;
  bool failRead_;
};

class RecordingManifest : public InputManifest {
 public:
  void Read(const boost::property_tree::ptree& tree) override {
    text = tree.get<std::string>("text");
    if (text == "bad") throw ManifestParseException();
  }
  std::string text;
};

TEST(ManifestSourceTest, ReadManifestFetchesParsesAndReads) {
  FixedSource source("hello");
  RecordingManifest manifest;
  ReadManifest(source, "pkg/1", manifest);
  EXPECT_EQ(source.readId, "pkg/1");
  EXPECT_EQ(manifest.text, "hello");
}

TEST(ManifestSourceTest, ExceptionsPassThroughUnchanged) {
  FixedSource bad("bad");
  RecordingManifest manifest;
  try {
    ReadManifest(bad, "x", manifest);
    FAIL();
  } catch (const ManifestParseException& e) {
    EXPECT_STREQ(e.what(), "");
  }

  FixedSource refused("", true);
  try {
    ReadManifest(refused, "x", manifest);
    FAIL();
  } catch (const ManifestException& e) {
    EXPECT_NE(dynamic_cast<const ManifestStreamException*>(&e), nullptr);
    EXPECT_STREQ(e.what(), "connection refused");
  }
  EXPECT_THROW(ReadManifest(refused, "x", manifest), std::exception);
}

}  // namespace
}  // namespace zarn
