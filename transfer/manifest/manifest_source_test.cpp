#include "transfer/manifest/manifest_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

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

// Two sources whose steps report to one another: the first parses until the second has
// fetched, and a little longer, so that a second parse beside it would be seen.
class OverlapProbe {
 public:
  class Source : public ManifestSource {
   public:
    Source(OverlapProbe* probe, bool first) : probe_(probe), first_(first) {}
    void Read(const std::string&, std::string& out) override {
      out = "x";
      if (!first_) probe_->Mark(&OverlapProbe::secondFetched_);
    }
    void Parse(std::string text, boost::property_tree::ptree& tree) override {
      probe_->EnterParse();
      if (first_) {
        probe_->Mark(&OverlapProbe::firstParsing_);
        probe_->fetchedBesideParse_ = probe_->Await(&OverlapProbe::secondFetched_);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      probe_->LeaveParse();
      tree.put("text", text);
    }

   private:
    OverlapProbe* probe_;
    bool first_;
  };

  bool AwaitFirstParsing() { return Await(&OverlapProbe::firstParsing_); }
  bool FetchedBesideParse() const { return fetchedBesideParse_; }
  int MostParsing() const { return mostParsing_; }

 private:
  void Mark(bool OverlapProbe::*flag) {
    const std::lock_guard<std::mutex> lock(mutex_);
    this->*flag = true;
    changed_.notify_all();
  }
  bool Await(bool OverlapProbe::*flag) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return this->*flag; });
  }
  void EnterParse() {
    const std::lock_guard<std::mutex> lock(mutex_);
    mostParsing_ = std::max(mostParsing_, ++parsing_);
  }
  void LeaveParse() {
    const std::lock_guard<std::mutex> lock(mutex_);
    --parsing_;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool firstParsing_ = false;
  bool secondFetched_ = false;
  bool fetchedBesideParse_ = false;
  int parsing_ = 0;
  int mostParsing_ = 0;
};

// A document's tree costs several times its text: one document at a time is parsed and
// read, while the others are fetched meanwhile and wait as text.
TEST(ManifestSourceTest, OneDocumentIsParsedAtATimeWhileOthersAreFetched) {
  OverlapProbe probe;
  OverlapProbe::Source first(&probe, true);
  OverlapProbe::Source second(&probe, false);
  RecordingManifest firstRead;
  RecordingManifest secondRead;
  std::thread reading([&] { ReadManifest(first, "a", firstRead); });
  ASSERT_TRUE(probe.AwaitFirstParsing());
  ReadManifest(second, "b", secondRead);
  reading.join();
  EXPECT_TRUE(probe.FetchedBesideParse());
  EXPECT_EQ(probe.MostParsing(), 1);
  EXPECT_EQ(firstRead.text, "x");
  EXPECT_EQ(secondRead.text, "x");
}

}  // namespace
}  // namespace zarn
