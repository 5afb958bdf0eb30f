#include "transfer/manifest/standard_package_manifest.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <string>
#include <vector>

#include "transfer/manifest/file_manifest.h"
#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/standard_file_manifest.h"
#include "transfer/manifest/xml_manifest_tree.h"

namespace zarn {
namespace {

// Parses an XML document as the HTTP source does and reads it into a package.
void ReadPackage(const std::string& xml, StandardPackageManifest& package) {
  boost::property_tree::ptree tree;
  ParseXmlManifest(xml, tree);
  package.Read(tree);
}

std::string FileEntry(const std::string& path, const std::string& chunksize,
                      const std::string& size, const std::string& checksums) {
  return "<file><path>" + path + "</path><chunksize>" + chunksize + "</chunksize><size>" + size +
         "</size><checksums>" + checksums + "</checksums></file>";
}

const std::string kFile = FileEntry("bin/a.dat", "4", "10", "000000010000000200000003");

std::string Package(const std::string& files, const std::string& extra = "",
                    const std::string& id = "<id>PKG</id>") {
  return "<?xml version=\"1.0\"?>\n<package>\n  " + id +
         "\n  <name>Downloader</name>\n  <partnerId>PARTNER</partnerId>\n"
         "  <versionId>1.2</versionId>\n  " +
         extra + "\n  <files>\n    " + files + "\n  </files>\n</package>\n";
}

TEST(StandardPackageManifestTest, ReadsAValidDocument) {
  StandardPackageManifest package;
  ReadPackage(Package(kFile + FileEntry("run.exe", "1048576", "1048577", "cbf43926DEADBEEF"),
                      "<run>run.exe</run>"),
              package);
  EXPECT_EQ(package.GetId(), "PKG");
  EXPECT_EQ(package.GetName(), "Downloader");
  EXPECT_EQ(package.GetPartnerId(), "PARTNER");
  EXPECT_EQ(package.GetVersionId(), "1.2");
  EXPECT_EQ(package.GetRun(), "run.exe");
  ASSERT_EQ(package.GetFiles().size(), 2u);
  const auto& data = package.GetFiles()[0];
  EXPECT_EQ(data->GetPath(), "bin/a.dat");
  EXPECT_EQ(data->GetChunkSize(), 4u);
  EXPECT_EQ(data->GetSize(), 10u);
  EXPECT_EQ(data->GetChecksums(), (std::vector<uint32_t>{1, 2, 3}));
  const auto& run = package.GetFiles()[1];
  EXPECT_EQ(run->GetChecksums(), (std::vector<uint32_t>{0xcbf43926u, 0xdeadbeefu}));
  EXPECT_EQ(package.GetRunFile(), run);
  EXPECT_EQ(package.GetRunFiles(), (FileManifestList{run}));
  EXPECT_EQ(package.GetOtherFiles(), (FileManifestList{data}));
  EXPECT_EQ(GetPackageTotalSize(package), 1048587u);
}

TEST(StandardPackageManifestTest, RunFilePartition) {
  {
    SCOPED_TRACE("no run element");
    StandardPackageManifest package;
    ReadPackage(Package(kFile), package);
    EXPECT_EQ(package.GetRun(), "");
    EXPECT_FALSE(package.GetRunFile());
    EXPECT_TRUE(package.GetRunFiles().empty());
    EXPECT_EQ(package.GetOtherFiles().size(), 1u);
  }
  {
    SCOPED_TRACE("white space only counts as no run");
    StandardPackageManifest package;
    ReadPackage(Package(kFile, "<run>  \n </run>"), package);
    EXPECT_EQ(package.GetRun(), "");
    EXPECT_FALSE(package.GetRunFile());
  }
  {
    SCOPED_TRACE("a run path with '\\' matches the same file");
    StandardPackageManifest package;
    ReadPackage(Package(kFile, "<run>bin\\a.dat</run>"), package);
    EXPECT_EQ(package.GetRun(), "bin/a.dat");
    EXPECT_EQ(package.GetRunFile(), package.GetFiles()[0]);
  }
  {
    SCOPED_TRACE("an empty files element is a package without files");
    StandardPackageManifest package;
    ReadPackage(Package(""), package);
    EXPECT_TRUE(package.GetFiles().empty());
  }
}

TEST(StandardPackageManifestTest, AttributesReadAsElementsAndWin) {
  StandardPackageManifest package;
  ReadPackage(
      "<package id=\"PKG\" name=\"N\" partnerId=\"P\" versionId=\"attr\">"
      "<versionId>element</versionId><files>"
      "<file path=\"x.bin\" chunksize=\"4\" size=\"4\" checksums=\"0000ffff\"/>"
      "</files></package>",
      package);
  EXPECT_EQ(package.GetVersionId(), "attr");
  ASSERT_EQ(package.GetFiles().size(), 1u);
  EXPECT_EQ(package.GetFiles()[0]->GetPath(), "x.bin");
  EXPECT_EQ(package.GetFiles()[0]->GetChecksums(), std::vector<uint32_t>{0xffff});
}

TEST(StandardPackageManifestTest, ReadsAVersionAtItsBound) {
  const std::string version(256, 'v');
  StandardPackageManifest package;
  ReadPackage("<package><id>I</id><name>N</name><partnerId>P</partnerId><versionId>" + version +
                  "</versionId><files>" + kFile + "</files></package>",
              package);
  EXPECT_EQ(package.GetVersionId(), version);
}

// A path of 4 094 bytes names 2 046 folders: "NN/", then 2 045 of "a/", then the file.
std::string DeepestPath(int n, std::size_t folders = 2046) {
  std::string path = std::to_string(10 + n) + "/";
  for (std::size_t i = 1; i < folders; ++i) path += "a/";
  return path + "f";
}

// Every folder a path names is made: the package's paths name at most 131 072 in all,
// each folder counted once however many paths name it.
TEST(StandardPackageManifestTest, PathsNameAtMost131072Folders) {
  const std::string oneChunk = std::string(8, '0');
  auto files = [&](std::size_t lastFolders) {
    std::string xml;
    for (int i = 0; i < 64; ++i) xml += FileEntry(DeepestPath(i), "1", "1", oneChunk);
    xml += FileEntry(DeepestPath(64, lastFolders), "1", "1", oneChunk);
    xml += FileEntry(DeepestPath(0, 3), "1", "1", oneChunk);  // its folders are named before
    return Package(xml);
  };
  StandardPackageManifest package;
  ReadPackage(files(128), package);  // 64 x 2 046 + 128 = 131 072 folders
  EXPECT_EQ(package.GetFiles().size(), 66u);
  EXPECT_THROW(ReadPackage(files(129), package), ManifestParseException);
}

TEST(StandardPackageManifestTest, TextIsKeptExceptAroundNumbers) {
  StandardPackageManifest package;
  ReadPackage(
      Package(FileEntry(" a b ", " 4\n", "\t10 ", "000000010000000200000003"), "", "<id> PKG</id>"),
      package);
  EXPECT_EQ(package.GetId(), " PKG");
  EXPECT_EQ(package.GetFiles()[0]->GetPath(), " a b ");
  EXPECT_EQ(package.GetFiles()[0]->GetSize(), 10u);
}

TEST(StandardPackageManifestTest, ChunkCountsAtTheBoundaries) {
  struct Case {
    const char* chunksize;
    const char* size;
    std::size_t chunks;
  };
  const Case cases[] = {
      {"1048576", "1048576", 1},  // size equal to the chunk size
      {"1048576", "1048577", 2},  // one byte more: a second chunk of 1 byte
      {"4", "12", 3},             // a multiple of the chunk size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chunksize) + "/" + c.size);
    for (int delta : {-1, 0, 1}) {
      const std::size_t length = 8 * c.chunks + delta;
      StandardPackageManifest package;
      const std::string xml =
          Package(FileEntry("f", c.chunksize, c.size, std::string(length, 'a')));
      if (delta == 0) {
        ReadPackage(xml, package);
        EXPECT_EQ(package.GetFiles()[0]->GetChecksums().size(), c.chunks);
      } else {
        EXPECT_THROW(ReadPackage(xml, package), ManifestParseException) << length;
      }
    }
  }
}

TEST(StandardPackageManifestTest, RejectsInvalidDocuments) {
  struct Case {
    const char* name;
    std::string xml;
  };
  const std::string name = "<name>N</name>", partner = "<partnerId>P</partnerId>",
                    version = "<versionId>V</versionId>", files = "<files>" + kFile + "</files>";
  const Case cases[] = {
      {"no package root", "<pkg><id>PKG</id></pkg>"},
      {"malformed XML", "<package><id>PKG</id>"},
      {"empty body", ""},
      {"id missing", "<package>" + name + partner + version + files + "</package>"},
      {"name missing", "<package><id>I</id>" + partner + version + files + "</package>"},
      {"partnerId missing", "<package><id>I</id>" + name + version + files + "</package>"},
      {"versionId missing", "<package><id>I</id>" + name + partner + files + "</package>"},
      {"files missing", "<package><id>I</id>" + name + partner + version + "</package>"},
      {"id empty", Package(kFile, "", "<id></id>")},
      {"id white space only", Package(kFile, "", "<id> \t\r\n</id>")},
      {"name empty", "<package><id>I</id><name/>" + partner + version + files + "</package>"},
      {"partnerId empty",
       "<package><id>I</id>" + name + "<partnerId> </partnerId>" + version + files + "</package>"},
      {"versionId empty",
       "<package><id>I</id>" + name + partner + "<versionId/>" + files + "</package>"},
      {"versionId longer than a version", "<package><id>I</id>" + name + partner + "<versionId>" +
                                              std::string(257, 'v') + "</versionId>" + files +
                                              "</package>"},
      {"chunksize empty", Package(FileEntry("f", "", "4", "00000000"))},
      {"size empty", Package(FileEntry("f", "4", " ", "00000000"))},
      {"checksums empty", Package(FileEntry("f", "4", "4", ""))},
      {"run names no file", Package(kFile, "<run>other.exe</run>")},
      {"comment in files", Package(kFile + "<!-- note -->")},
      {"foreign element in files", Package(kFile + "<folder/>")},
      {"attribute on files", "<package><id>I</id>" + name + partner + version +
                                 "<files count=\"1\">" + kFile + "</files></package>"},
      {"path missing", Package("<file><chunksize>4</chunksize><size>4</size>"
                               "<checksums>00000000</checksums></file>")},
      {"path empty", Package(FileEntry("", "4", "4", "00000000"))},
      {"path white space only", Package(FileEntry("  ", "4", "4", "00000000"))},
      {"chunksize missing",
       Package("<file><path>f</path><size>4</size><checksums>00000000</checksums></file>")},
      {"size missing", Package("<file><path>f</path><chunksize>4</chunksize>"
                               "<checksums>00000000</checksums></file>")},
      {"checksums missing",
       Package("<file><path>f</path><chunksize>4</chunksize><size>4</size></file>")},
      {"chunksize 0", Package(FileEntry("f", "0", "4", ""))},
      {"size 0", Package(FileEntry("f", "4", "0", ""))},
      {"chunksize not a number", Package(FileEntry("f", "four", "4", "00000000"))},
      {"chunksize negative", Package(FileEntry("f", "-1", "4", "00000000"))},
      {"chunksize above 32 bits", Package(FileEntry("f", "4294967296", "4", "00000000"))},
      {"size with a sign", Package(FileEntry("f", "4", "+4", "00000000"))},
      {"checksum slice not hexadecimal", Package(FileEntry("f", "4", "8", "00000001zzzzzzzz"))},
      {"chunk count past 32 bits", Package(FileEntry("f", "1", "1099511627776", "00000000"))},
      {"absolute path", Package(FileEntry("/etc/passwd", "4", "4", "00000000"))},
      {"rooted path with '\\'", Package(FileEntry("\\windows\\x.exe", "4", "4", "00000000"))},
      {"drive", Package(FileEntry("C:\\x.exe", "4", "4", "00000000"))},
      {"'..' segment", Package(FileEntry("bin/../../x", "4", "4", "00000000"))},
      {"'..' segment with '\\'", Package(FileEntry("..\\x", "4", "4", "00000000"))},
      {"empty once normalised", Package(FileEntry("./.", "4", "4", "00000000"))},
      {"run path escapes", Package(kFile, "<run>../run.exe</run>")},
      // One file on disk for two entries: both would be written and verified, and the
      // transfer could complete with a file that matches only one of them.
      {"same path twice", Package(kFile + kFile)},
      {"same path once normalised",
       Package(kFile + FileEntry("bin//a.dat", "4", "10", "000000010000000200000003"))},
      {"same path with '\\' and '.'",
       Package(kFile + FileEntry("bin\\.\\a.dat", "8", "8", "0000000a"))},
      {"run path carried twice",
       Package(kFile + FileEntry("bin/a.dat", "8", "8", "0000000a"), "<run>bin/a.dat</run>")},
      {"NUL in a path", Package(kFile + FileEntry("bin/a.dat&#0;", "4", "4", "00000000"))},
      {"tab in a path", Package(FileEntry("a&#9;b", "4", "4", "00000000"))},
      {"DEL in a path", Package(FileEntry("a&#x7f;", "4", "4", "00000000"))},
      {"control character in the run path", Package(kFile, "<run>bin/a.dat&#1;</run>")},
      {"attribute name ending in '.'",
       "<package x.=\"1\"><id>I</id>" + name + partner + version + files + "</package>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StandardPackageManifest package;
    try {
      ReadPackage(c.xml, package);
      ADD_FAILURE() << "accepted";
    } catch (const ManifestParseException& e) {
      EXPECT_STREQ(e.what(), "");
    }
  }
}

// The chunks of all files together are bounded, however they are split between files.
TEST(StandardPackageManifestTest, ChunksAreBoundedAcrossTheFiles) {
  struct Case {
    const char* name;
    std::vector<uint32_t> chunks;  // per file
    bool accepted;
  };
  const Case cases[] = {
      {"one file at the bound", {kMaxPackageChunks}, true},
      {"one file one over", {kMaxPackageChunks + 1}, false},
      {"two files at the bound", {kMaxPackageChunks - 1, 1}, true},
      {"two files one over", {kMaxPackageChunks, 1}, false},
      {"the last of several one over", {1, kMaxPackageChunks - 2, 1, 1}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string files;
    for (std::size_t i = 0; i < c.chunks.size(); ++i) {
      files += FileEntry("f" + std::to_string(i), "1", std::to_string(c.chunks[i]),
                         std::string(8 * std::size_t{c.chunks[i]}, '0'));
    }
    StandardPackageManifest package;
    if (c.accepted) {
      ReadPackage(Package(files), package);
      EXPECT_EQ(package.GetFiles().size(), c.chunks.size());
    } else {
      EXPECT_THROW(ReadPackage(Package(files), package), ManifestParseException);
    }
  }
}

// A hostile size with a short checksum text is refused before anything is reserved for
// its checksums: a hundred million chunks would otherwise reserve 400 MB here.
TEST(StandardPackageManifestTest, ChecksumLengthIsCheckedBeforeReserving) {
  boost::property_tree::ptree entry;
  entry.put("path", "f");
  entry.put("chunksize", "4");
  entry.put("size", "4");
  entry.put("checksums", "00000000");
  StandardFileManifest file(entry, 100000000);
  entry.put("chunksize", "1");
  entry.put("size", "100000000");
  EXPECT_THROW(file.Read(entry), ManifestParseException);
  EXPECT_LT(file.GetChecksums().capacity(), 1000u);
}

// An entry past its chunk limit is refused on its sizes alone, however well formed its
// checksum text: nothing is reserved or parsed for it.
TEST(StandardPackageManifestTest, ChunkLimitIsCheckedBeforeReserving) {
  boost::property_tree::ptree entry;
  entry.put("path", "f");
  entry.put("chunksize", "1");
  entry.put("size", "2");
  entry.put("checksums", std::string(16, '0'));
  StandardFileManifest file(entry, 2);
  EXPECT_EQ(file.GetChecksums().size(), 2u) << "at the limit";
  entry.put("size", "1000");
  entry.put("checksums", std::string(8000, '0'));
  EXPECT_THROW(file.Read(entry), ManifestParseException);
  EXPECT_LT(file.GetChecksums().capacity(), 1000u);
}

TEST(StandardPackageManifestTest, NormalisesPaths) {
  StandardPackageManifest package;
  ReadPackage(Package(FileEntry("bin\\tools//./x.exe", "4", "4", "00000000")), package);
  EXPECT_EQ(package.GetFiles()[0]->GetPath(), "bin/tools/x.exe");
}

}  // namespace
}  // namespace zarn
