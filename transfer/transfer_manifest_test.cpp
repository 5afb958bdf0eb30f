#include "transfer/transfer_manifest.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

TEST(TransferParamsTest, DefaultsAndDescription) {
  TransferParams params;
  for (const std::string* text : {&params.transferId, &params.partnerId, &params.packageId,
                                  &params.versionId, &params.destPath}) {
    EXPECT_EQ(*text, "?");
  }
  EXPECT_EQ(&UnsetText(), &UnsetText());
  EXPECT_EQ(params.suspended, 0);

  params.transferId = "new";
  params.suspended = 1;
  boost::property_tree::ptree tree;
  tree.put("transferId", "old");
  params.Describe(tree);
  EXPECT_EQ(tree.count("transferId"), 1u);  // replaced, not added
  EXPECT_EQ(tree.get<std::string>("transferId"), "new");
  const char* order[] = {"transferId", "partnerId", "packageId", "versionId", "destPath"};
  ASSERT_EQ(tree.size(), 5u);  // suspended is not written
  auto child = tree.begin();
  for (const char* key : order) EXPECT_EQ((child++)->first, key);
}

TEST(TransferManifestTest, RoundTrip) {
  TransferParams params;
  params.transferId = "0123456789abcdef0123456789abcdef";
  params.partnerId = "";
  params.packageId = "pkg";
  params.versionId = "?";
  params.destPath = "/tmp/dest dir";
  params.suspended = 1;
  boost::property_tree::ptree tree;
  TransferManifest(params).Write(tree);
  tree.put("unknown", "ignored");

  TransferManifest loaded;
  loaded.Read(tree);
  const TransferParams& read = loaded.GetParams();
  EXPECT_EQ(read.transferId, params.transferId);
  EXPECT_EQ(read.partnerId, "");
  EXPECT_EQ(read.packageId, "pkg");
  EXPECT_EQ(read.versionId, "?");
  EXPECT_EQ(read.destPath, "/tmp/dest dir");
  EXPECT_EQ(read.suspended, 0);  // a stored transfer is never restored Suspended
}

TEST(TransferManifestTest, MissingKeyFailsAndKeepsWhatWasRead) {
  boost::property_tree::ptree tree;
  tree.put("transferId", "t");
  tree.put("partnerId", "p");
  tree.put("packageId", "k");
  tree.put("versionId", "v");
  TransferManifest manifest;
  manifest.GetParams().destPath = "stale";
  EXPECT_THROW(manifest.Read(tree), ManifestParseException);
  EXPECT_EQ(manifest.GetParams().versionId, "v");
  EXPECT_EQ(manifest.GetParams().destPath, "?");
}

}  // namespace
}  // namespace zarn
