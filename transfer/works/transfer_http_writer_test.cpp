#include "transfer/works/transfer_http_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "storage/memory_mapped_file_data.h"
#include "storage/shared_file.h"
#include "transfer/testing/transfer_tree_fixture.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"

namespace zarn {
namespace {

TEST(TransferHttpWriterTest, StoresBlocksInsideTheChunkAndCountsThem) {
  tree_test::TempFolder folder;
  tree_test::LocalRig rig;
  auto wi = rig.Make(folder.Path());
  auto file = TransferSharedFileData::Create("f", 300);
  file->sharedFile = rig.Files().Create(folder.Path(), "f", SharedFileOpenMode::OpenAlways, 0, 299);
  file->sharedFile->Allocate(300);
  auto chunk = TransferSharedMapData::Create(file, 100, 199, 0, wi->GetProgressUpdater());
  chunk->view = file->sharedFile->Map(100, 199);
  TransferHttpWriter writer(chunk);

  const std::string block(60, 'x');
  EXPECT_EQ(writer.Write(nullptr, 0).result, HttpRequestResult::Succeeded);
  const HttpRequestStatus first = writer.Write(reinterpret_cast<const uint8_t*>(block.data()), 60);
  EXPECT_EQ(first.result, HttpRequestResult::Succeeded);
  EXPECT_EQ(first.bytes, 60u);
  // A block that would pass the chunk's end (a server that ignores the range) is refused
  // whole, with nothing of it written or counted.
  const HttpRequestStatus second = writer.Write(reinterpret_cast<const uint8_t*>(block.data()), 60);
  EXPECT_EQ(second.result, HttpRequestResult::RangeError);
  EXPECT_EQ(second.bytes, 0u);
  EXPECT_EQ(chunk->view->Tell(), 160u);
  EXPECT_EQ(chunk->fileProgressBytes, 60u);
  const TransferStatus status = wi->Snapshot();
  EXPECT_EQ(status.completedBytes, 60u);
  EXPECT_EQ(status.downloadedBytes, 60u);
}

}  // namespace
}  // namespace zarn
