#include "transfer/store/json_temp_file_manifest_store.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "storage/path_helpers.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/shared_file.h"
#include "transfer/store/json_temp_file_manifest_store_impl.h"
#include "transfer/transfer_manifest.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr char kId[] = "5d41402abc4b2a76b9719d911017c592";
constexpr std::size_t kMaxRecord = TempFileManifestStoreImpl::kMaxRecordBytes;

// A valid record of exactly `size` bytes, its destination path padded.
std::string RecordOfSize(std::size_t size) {
  const std::string head =
      "{\"transferId\":\"a\",\"partnerId\":\"p\",\"packageId\":\"k\","
      "\"versionId\":\"1\",\"destPath\":\"";
  const std::string tail = "\"}\n";
  return head + std::string(size - head.size() - tail.size(), 'd') + tail;
}

// "a.a.a…": a key of `segments` segments.
std::string DottedKey(int segments) {
  std::string key = "a";
  for (int i = 1; i < segments; ++i) key += ".a";
  return key;
}

// Passes everything to a real file, except that Write stores only its first half (or
// throws), as a full disk or a failing device would.
class ShortWriteFile : public SharedFile {
 public:
  ShortWriteFile(std::shared_ptr<SharedFile> file, bool throws)
      : SharedFile(file->lower(), file->upper()), file_(std::move(file)), throws_(throws) {}
  uint64_t Tell() override { return file_->Tell(); }
  void Seek(uint64_t position) override { file_->Seek(position); }
  uint32_t Read(void* buffer, uint32_t n) override { return file_->Read(buffer, n); }
  uint32_t Write(const void* data, uint32_t n) override {
    file_->Write(data, n / 2);
    if (throws_) throw std::runtime_error("device failed");
    return n / 2;
  }
  uint64_t Size() override { return file_->Size(); }
  bool Allocate(uint64_t size) override { return file_->Allocate(size); }
  bool IsAtPath() override { return file_->IsAtPath(); }
  bool AllowExecute() override { return file_->AllowExecute(); }
  bool DenyExecute() override { return file_->DenyExecute(); }
  std::shared_ptr<MemoryMappedFileData> Map() override { return file_->Map(); }
  std::shared_ptr<MemoryMappedFileData> Map(uint64_t a, uint64_t b) override {
    return file_->Map(a, b);
  }

 private:
  std::shared_ptr<SharedFile> file_;
  bool throws_;
};

class ShortWriteFactory : public PosixSharedFileFactory {
 public:
  int shortWrites = 0;  // how many of the next files written get a short write
  bool throws = false;
  std::shared_ptr<SharedFile> Create(const std::string& folder, const std::string& fileName,
                                     SharedFileOpenMode mode, uint64_t lower,
                                     uint64_t upper) override {
    auto file = PosixSharedFileFactory::Create(folder, fileName, mode, lower, upper);
    if (mode != SharedFileOpenMode::CreateNew || shortWrites == 0) return file;
    --shortWrites;
    return std::make_shared<ShortWriteFile>(file, throws);
  }
};

class JsonTempFileManifestStoreTest : public ::testing::Test {
 protected:
  JsonTempFileManifestStoreTest()
      : folder_("engine-store-" + std::to_string(std::random_device()()) + "/transfers"),
        store_(folder_, &factory_) {}
  ~JsonTempFileManifestStoreTest() override {
    fs::remove_all(fs::path(GetTempFolder()) / fs::path(folder_).parent_path());
  }

  fs::path FilePath(const std::string& id) const {
    return fs::path(GetTempFolder()) / folder_ / (id + ".json");
  }
  std::string FileText(const std::string& id) const {
    std::ifstream in(FilePath(id), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void PutFile(const std::string& id, const std::string& text) const {
    fs::create_directories(FilePath(id).parent_path());
    std::ofstream(FilePath(id), std::ios::binary) << text;
  }

  static TransferParams Params(const std::string& id) {
    TransferParams params;
    params.transferId = id;
    params.partnerId = "p";
    params.packageId = "k";
    params.versionId = "1";
    params.destPath = "/games/x";
    return params;
  }

  ShortWriteFactory factory_;
  std::string folder_;
  JsonTempFileManifestStore store_;
};

TEST_F(JsonTempFileManifestStoreTest, WritesExactBytesAndReadsThemBack) {
  TransferParams params;
  params.transferId = "0123456789abcdef0123456789abcdef";
  params.partnerId = "Zo\xC3\xAB";               // U+00EB stays as its two bytes
  params.packageId = "pkg\xE2\x82\xAC";          // U+20AC is escaped
  params.versionId = "1.0/\xF0\x9F\x98\x80";     // a surrogate pair, and '/'
  params.destPath = "C:\\Games\\a\"b\tc\n\x7F";  // backslashes, quote, controls
  ASSERT_TRUE(store_.Save(params.transferId, TransferManifest(params)));

  EXPECT_EQ(FileText(params.transferId),
            "{\"transferId\":\"0123456789abcdef0123456789abcdef\","
            "\"partnerId\":\"Zo\xC3\xAB\","
            "\"packageId\":\"pkg\\u20AC\","
            "\"versionId\":\"1.0\\/\\uD83D\\uDE00\","
            "\"destPath\":\"C:\\\\Games\\\\a\\\"b\\u0009c\\n\x7F\"}\n");

  TransferManifest loaded;
  ASSERT_TRUE(store_.Load(params.transferId, loaded));
  const TransferParams& back = loaded.GetParams();
  EXPECT_EQ(back.transferId, params.transferId);
  EXPECT_EQ(back.partnerId, params.partnerId);
  EXPECT_EQ(back.packageId, params.packageId);
  EXPECT_EQ(back.versionId, params.versionId);
  EXPECT_EQ(back.destPath, params.destPath);
  EXPECT_FALSE(back.suspended);
}

TEST_F(JsonTempFileManifestStoreTest, SecondSaveFailsAndKeepsTheFirstFile) {
  ASSERT_TRUE(store_.Save(kId, TransferManifest(Params(kId))));
  const std::string first = FileText(kId);
  TransferParams other = Params(kId);
  other.destPath = "/elsewhere";
  EXPECT_FALSE(store_.Save(kId, TransferManifest(other)));
  EXPECT_EQ(FileText(kId), first);
  EXPECT_TRUE(store_.Remove(kId));
  EXPECT_FALSE(fs::exists(FilePath(kId)));
  EXPECT_TRUE(store_.Save(kId, TransferManifest(other)));
}

TEST_F(JsonTempFileManifestStoreTest, MissingAndInvalidFilesDoNotLoad) {
  const struct {
    const char* label;
    std::string text;  // "-": no file at all
  } cases[] = {
      {"missing", "-"},
      {"empty", ""},
      {"not json", "transferId=a\n"},
      {"truncated", "{\"transferId\":\"a\",\"partnerId\":\"p\""},
      {"no destPath",
       "{\"transferId\":\"a\",\"partnerId\":\"p\",\"packageId\":\"k\","
       "\"versionId\":\"1\"}\n"},
      {"not utf-8",
       "{\"transferId\":\"a\",\"partnerId\":\"\xFF\",\"packageId\":\"k\","
       "\"versionId\":\"1\",\"destPath\":\"d\"}\n"},
      {"empty key segment", "{\"a..b\":\"x\",\"transferId\":\"a\"}"},
      // The reader and the key splitting recurse per level and per segment: a hostile
      // file must not overflow the stack.
      {"nested a million deep", std::string(1000000, '[') + std::string(1000000, ']')},
      {"closes before it opens", "]" + std::string(100000, '[')},
      {"key of 100000 segments", "{\"" + DottedKey(100000) + "\":\"x\"}"},
      {"key of 65 segments", "{\"" + DottedKey(65) + "\":\"x\"}"},
      {"a valid record larger than any record is", RecordOfSize(kMaxRecord + 1)},
  };
  for (const auto& c : cases) {
    fs::remove(FilePath(kId));
    if (c.text != "-") PutFile(kId, c.text);
    TransferManifest record(Params("before"));
    EXPECT_FALSE(store_.Load(kId, record)) << c.label;
  }
  TransferManifest untouched(Params("before"));
  fs::remove(FilePath(kId));
  store_.Load(kId, untouched);
  EXPECT_EQ(untouched.GetParams().transferId, "before");
  EXPECT_EQ(untouched.GetParams().destPath, "/games/x");
  EXPECT_FALSE(store_.Remove(kId));
}

TEST_F(JsonTempFileManifestStoreTest, RecordsOverTheBoundAreNeitherWrittenNorRead) {
  TransferParams params = Params(kId);
  params.destPath = std::string(kMaxRecord, 'd');
  EXPECT_FALSE(store_.Save(kId, TransferManifest(params)));
  EXPECT_FALSE(fs::exists(FilePath(kId)));

  PutFile(kId, RecordOfSize(kMaxRecord));
  TransferManifest record;
  EXPECT_TRUE(store_.Load(kId, record));
}

TEST_F(JsonTempFileManifestStoreTest, ReadsAFileOfExactlyOneBlockWhole) {
  // 4096 bytes: the first read fills the buffer, the second returns 0.
  const std::string head =
      "{\"transferId\":\"a\",\"partnerId\":\"p\",\"packageId\":\"k\","
      "\"versionId\":\"1\",\"destPath\":\"";
  const std::string tail = "\"}\n";
  const std::string text = head + std::string(4096 - head.size() - tail.size(), 'd') + tail;
  ASSERT_EQ(text.size(), 4096u);
  PutFile(kId, text);
  std::string raw;
  store_.GetImpl().Read(kId, raw);
  EXPECT_EQ(raw, text);
  TransferManifest record;
  ASSERT_TRUE(store_.Load(kId, record));
  EXPECT_EQ(record.GetParams().destPath.size(), 4096 - head.size() - tail.size());
}

TEST_F(JsonTempFileManifestStoreTest, DottedKeyBecomesNestedPath) {
  boost::property_tree::ptree tree;
  const std::string longest = "k." + DottedKey(kMaxJsonKeySegments - 1);
  store_.GetImpl().Parse("{\"a.b\":\"x\",\"c\":{\"d\":\"y\"},\"" + longest + "\":\"z\"}", tree);
  EXPECT_EQ(tree.get<std::string>("a.b"), "x");
  EXPECT_EQ(tree.get_child("a").size(), 1u);
  EXPECT_EQ(tree.get<std::string>("c.d"), "y");
  EXPECT_EQ(tree.get<std::string>(longest), "z");
}

// A save whose bytes did not all reach the file removes the partial file: otherwise the
// next save under that id would fail for good (files are created new).
TEST_F(JsonTempFileManifestStoreTest, IncompleteWriteRemovesThePartialFile) {
  for (bool throws : {false, true}) {
    factory_.shortWrites = 1;
    factory_.throws = throws;
    EXPECT_FALSE(store_.Save(kId, TransferManifest(Params(kId)))) << throws;
    EXPECT_FALSE(fs::exists(FilePath(kId))) << throws;
    EXPECT_TRUE(store_.Save(kId, TransferManifest(Params(kId)))) << throws;
    TransferManifest record;
    EXPECT_TRUE(store_.Load(kId, record)) << throws;
    EXPECT_TRUE(store_.Remove(kId));
  }
}

TEST_F(JsonTempFileManifestStoreTest, TransfersFolderIsPrivate) {
  ASSERT_TRUE(store_.Save(kId, TransferManifest(Params(kId))));
  const auto perms = fs::status(FilePath(kId).parent_path()).permissions();
  EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
}

// Only the managers' ids name files: anything else could reach a file outside the folder.
TEST_F(JsonTempFileManifestStoreTest, IdsOtherThanTransferIdsAreNotFound) {
  // A valid record beside the transfers folder, where "../<name>" would lead.
  const std::string name = "0123456789abcdef0123456789abc";
  const fs::path outside =
      fs::path(GetTempFolder()) / fs::path(folder_).parent_path() / (name + ".json");
  ASSERT_TRUE(store_.Save(kId, TransferManifest(Params(kId))));
  fs::copy_file(FilePath(kId), outside);
  const std::string record = FileText(kId);
  for (const std::string& id :
       {"../" + name, std::string(31, 'a'), std::string(33, 'a'), std::string(32, 'A'),
        std::string("5D41402ABC4B2A76B9719D911017C592"), std::string(), std::string("..")}) {
    TransferManifest loaded(Params("before"));
    EXPECT_FALSE(store_.Load(id, loaded)) << id;
    EXPECT_EQ(loaded.GetParams().transferId, "before") << id;
    EXPECT_FALSE(store_.Save(id, TransferManifest(Params(id)))) << id;
    EXPECT_FALSE(store_.Remove(id)) << id;
  }
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_EQ(
      std::distance(fs::directory_iterator(FilePath(kId).parent_path()), fs::directory_iterator()),
      1);
  EXPECT_EQ(FileText(kId), record);
}

// A transfers folder that others may write into is not used: nothing is stored in it, and
// nothing planted in it is read or removed.
TEST_F(JsonTempFileManifestStoreTest, RefusedFolderIsNeitherReadNorWritten) {
  ASSERT_TRUE(store_.Save(kId, TransferManifest(Params(kId))));
  const fs::path folder = FilePath(kId).parent_path();
  fs::permissions(folder, fs::perms::all);
  const std::string other = std::string(32, 'b');
  EXPECT_FALSE(store_.Save(other, TransferManifest(Params(other))));
  EXPECT_FALSE(fs::exists(FilePath(other)));
  TransferManifest loaded;
  EXPECT_FALSE(store_.Load(kId, loaded));
  EXPECT_FALSE(store_.Remove(kId));
  EXPECT_TRUE(fs::exists(FilePath(kId)));
}

}  // namespace
}  // namespace zarn
