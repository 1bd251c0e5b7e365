#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/download/DownloadFileManager.h"
#include "engine/download/DownloadMetadata.h"
#include "engine/download/PartFileNames.h"
#include "engine/protocol/Limits.h"
#include "engine/search/SearchManager.h"
#include "engine/upload/UploadFileManager.h"
#include "service/automation/FileRecords.h"
#include "service/client/RecordWire.h"
#include "service/dbus/WireRows.h"
#include "tests/service_bus/ApiBusFixture.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/WaitUntil.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;
using P2P::_tagUnionHash;

constexpr uint64_t kGiB = uint64_t{1} << 30;
// Each download of these sizes lacks only its last 1000 bytes.
constexpr uint64_t kMissing = 1000;

_tagUnionHash HashFor(uint64_t size) {
  _tagUnionHash hash;
  std::memcpy(hash.bytes.data(), &size, sizeof size);
  hash.bytes[15] = 0x5A;
  return hash;
}

P2P::Shared::_tagStructSharedFile RecordOf(uint64_t size, const std::string& name) {
  P2P::Shared::_tagStructSharedFile record;
  record.hash = HashFor(size);
  record.info.name = name;
  record.info.size = size;
  return record;
}

uint32_t Low32(uint64_t value) { return static_cast<uint32_t>(value); }

class ApiLargeFilesTest : public ApiBusTest {
 protected:
  // A download of `size` bytes as an earlier run left it (its sparse data file and its
  // metadata at part file index `index`), taken up by the engine.
  void RestoreDownload(uint64_t size, uint32_t index) {
    const auto paths =
        P2P::Shared::File::TransferFile::PartFilePaths(module_->GetConfig().tempPath, index);
    P2P::Shared::File::TransferFile::_tagStructDownloadMetadata metadata;
    const auto record = RecordOf(size, "film " + std::to_string(index) + ".mkv");
    metadata.hash = record.hash;
    metadata.info = record.info;
    metadata.required.Add(size - kMissing, size);
    sandbox_.WriteFile(fs::relative(paths.metadata, sandbox_.Root()),
                       P2P::Shared::File::TransferFile::WriteDownloadMetadataText(metadata));
    sandbox_.WriteFile(fs::relative(paths.data, sandbox_.Root()), "");
    fs::resize_file(paths.data, size);
    module_->GetDownloadFileManager().RestoreAll();
  }

  // A call of a file list's 32-bit bulk method, as a client that knows only it makes.
  template <typename Reply>
  Reply CallOldMethod(const char* getter, const char* interface, const char* method) {
    auto manager = sdbus::createProxy(client_->Connection(), CApiClient::kDefaultDestination,
                                      "/com/ostrel/TarnSvc/ServiceManager");
    int32_t hr = 0;
    sdbus::ObjectPath path;
    manager->callMethod(getter)
        .onInterface("com.ostrel.TarnSvc.IP2PServiceManager")
        .storeResultsTo(hr, path);
    EXPECT_EQ(hr, S_OK);
    auto list = sdbus::createProxy(client_->Connection(), CApiClient::kDefaultDestination, path);
    Reply reply{};
    list->callMethod(method).onInterface(interface).storeResultsTo(hr, reply);
    EXPECT_EQ(hr, S_OK);
    list->callMethod("Release").onInterface("com.ostrel.TarnSvc.IUnknown").storeResultsTo(hr);
    return reply;
  }

  // Outlives the engine's stop in TearDown: files opened through it close then.
  FaultyFileSystem disk_;
};

// Around and beyond 32 bits, the 64-bit properties answer whole sizes; the old slots and bulk
// methods keep answering the low 32 bits, as they did before the 64-bit properties came.
TEST_F(ApiLargeFilesTest, SizesAbove32BitsAreWholeInThe64BitFormsAndLow32InTheOldSlots) {
  const std::vector<uint64_t> sizes{P2P::Protocol::kMaxSmallFileSize + 1, uint64_t{1} << 32,
                                    5 * kGiB};
  module_->GetSearchManager().GetResultList().BeginSearch("found", 0);
  for (uint32_t i = 0; i < sizes.size(); ++i) {
    RestoreDownload(sizes[i], i);
    // Kept in a folder the shared folder's scans leave alone, as a completed download is.
    auto sharedRecord = RecordOf(sizes[i], "disc " + std::to_string(i) + ".iso");
    sandbox_.WriteFile("elsewhere/" + sharedRecord.info.name, "x");
    sharedRecord.info.fullPathName = (sandbox_ / "elsewhere" / sharedRecord.info.name).string();
    const P2P::Shared::File::TransferFile::CTransferFilePtr shared(
        new P2P::Shared::File::TransferFile::CTARNNetTransferFile(sharedRecord));
    ASSERT_TRUE(module_->GetUploadFileManager().AddSharedFile(shared));
    ASSERT_TRUE(module_->GetSearchManager().GetResultList().AddFromRecord(
        RecordOf(sizes[i], "found " + std::to_string(i) + ".iso")));
  }

  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PSharedFileList> sharedList;
  std::shared_ptr<IP2PSearchResultFileList> results;
  ASSERT_EQ(manager_->get_DownloadFileList(&downloads), S_OK);
  ASSERT_EQ(manager_->get_SharedFileList(&sharedList), S_OK);
  ASSERT_EQ(manager_->get_SearchResultFileList(&results), S_OK);
  std::vector<SDownloadRowData> downloadRows;
  std::vector<SSharedRowData> sharedRows;
  ASSERT_EQ(downloads->GetRows(&downloadRows), S_OK);
  ASSERT_EQ(sharedList->GetRows(&sharedRows), S_OK);
  ASSERT_EQ(downloadRows.size(), sizes.size());
  ASSERT_EQ(sharedRows.size(), sizes.size());
  std::vector<SDownloadRecord> downloadRecords;
  std::vector<SSearchResultRecord> resultRecords;
  ASSERT_EQ(dynamic_cast<IP2PDownloadRecords&>(*downloads).GetRecords(&downloadRecords), S_OK);
  ASSERT_EQ(dynamic_cast<IP2PSearchResultRecords&>(*results).GetRecords(&resultRecords), S_OK);
  ASSERT_EQ(downloadRecords.size(), sizes.size());
  ASSERT_EQ(resultRecords.size(), sizes.size());

  for (uint32_t i = 0; i < sizes.size(); ++i) {
    const uint64_t size = sizes[i];
    SCOPED_TRACE(size);
    std::shared_ptr<IP2PDownloadFile> download;
    ASSERT_EQ(downloads->get_Item(static_cast<int32_t>(i + 1), &download), S_OK);
    uint64_t wide = 0;
    int32_t slot = 0;
    EXPECT_EQ(download->get_Size64(&wide), S_OK);
    EXPECT_EQ(wide, size);
    EXPECT_EQ(download->get_Size(&slot), S_OK);
    EXPECT_EQ(static_cast<uint32_t>(slot), Low32(size));
    EXPECT_EQ(download->get_CompletedSize64(&wide), S_OK);
    EXPECT_EQ(wide, size - kMissing);
    EXPECT_EQ(download->get_CompletedSize(&slot), S_OK);
    EXPECT_EQ(static_cast<uint32_t>(slot), Low32(size - kMissing));
    EXPECT_EQ(download->get_ReceivedSize64(&wide), S_OK);
    EXPECT_EQ(wide, 0u);
    EXPECT_EQ(downloadRows[i].size, size);
    EXPECT_EQ(downloadRows[i].completed, size - kMissing);
    EXPECT_EQ(downloadRecords[i].size, size);
    EXPECT_EQ(downloadRecords[i].completedSize, size - kMissing);

    std::shared_ptr<IP2PSharedFile> sharedItem;
    ASSERT_EQ(sharedList->get_Item(static_cast<int32_t>(i + 1), &sharedItem), S_OK);
    EXPECT_EQ(sharedItem->get_Size64(&wide), S_OK);
    EXPECT_EQ(wide, size);
    EXPECT_EQ(sharedItem->get_Size(&slot), S_OK);
    EXPECT_EQ(static_cast<uint32_t>(slot), Low32(size));
    EXPECT_EQ(sharedRows[i].size, size);

    std::shared_ptr<IP2PSearchResultFile> result;
    ASSERT_EQ(results->get_Item(static_cast<int32_t>(i + 1), &result), S_OK);
    EXPECT_EQ(result->get_Size64(&wide), S_OK);
    EXPECT_EQ(wide, size);
    EXPECT_EQ(result->get_Size(&slot), S_OK);
    EXPECT_EQ(static_cast<uint32_t>(slot), Low32(size));
    EXPECT_EQ(resultRecords[i].size, size);
  }

  // What a client that knows only the first methods receives.
  const auto oldRows = CallOldMethod<std::vector<WireDownloadRow>>(
      "get_DownloadFileList", "com.ostrel.TarnSvc.IP2PDownloadFileList", "GetRows");
  const auto oldRecords = CallOldMethod<std::vector<NarrowRecordWire<SSharedFileRecord>>>(
      "get_SharedFileList", "com.ostrel.TarnSvc.SharedFileRecords", "GetRecords");
  ASSERT_EQ(oldRows.size(), sizes.size());
  ASSERT_EQ(oldRecords.size(), sizes.size());
  for (uint32_t i = 0; i < sizes.size(); ++i) {
    SDownloadRowData row;
    FromWire(oldRows[i], row);
    EXPECT_EQ(row.size, Low32(sizes[i]));
    EXPECT_EQ(row.completed, Low32(sizes[i] - kMissing));
    EXPECT_EQ(FromWire<SSharedFileRecord>(oldRecords[i]).size, Low32(sizes[i]));
  }
}

// The 64-bit AddDownload takes sizes up to 256 GiB, refuses larger ones, and says why a
// download the temp folder's disk cannot hold did not start.
TEST_F(ApiLargeFilesTest, AddDownload64BoundsTheSizeAndNamesTheSpaceADownloadLacks) {
  const std::string hash = HashFor(1).ToHex();
  std::string reason = "stale";
  EXPECT_EQ(manager_->AddDownload64(&hash, P2P::Protocol::kMaxFileSize + 1, std::nullopt,
                                    std::nullopt, &reason),
            E_INVALIDARG);
  EXPECT_EQ(reason, "");
  EXPECT_EQ(manager_->AddDownload64(&hash, 0, std::nullopt, std::nullopt, &reason), E_INVALIDARG);
  EXPECT_EQ(manager_->AddDownload64(nullptr, 100, std::nullopt, std::nullopt, &reason),
            E_INVALIDARG);

  ScopedFileSystem installed(disk_);
  disk_.DiskFullAfter(4096);
  EXPECT_EQ(manager_->AddDownload64(&hash, 5000, std::nullopt, std::string("a.bin"), &reason),
            STG_E_MEDIUMFULL);
  EXPECT_EQ(reason, "not enough free space in " + module_->GetConfig().tempPath +
                        ": 5000 bytes needed, 4096 free");
  std::shared_ptr<IP2PDownloadFileList> downloads;
  ASSERT_EQ(manager_->get_DownloadFileList(&downloads), S_OK);
  int32_t count = -1;
  ASSERT_EQ(downloads->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);

  disk_.Heal();
  EXPECT_EQ(manager_->AddDownload64(&hash, 5000, std::nullopt, std::string("a.bin"), &reason),
            S_OK);
  EXPECT_EQ(reason, "");
  std::shared_ptr<IP2PDownloadFile> download;
  ASSERT_EQ(downloads->get_Item(1, &download), S_OK);
  uint64_t size = 0;
  EXPECT_EQ(download->get_Size64(&size), S_OK);
  EXPECT_EQ(size, 5000u);
}

// The 64-bit bounds hold sizes whole up to the largest file; the 32-bit slots read a bound
// above 32 bits as 0xFFFFFFFF and still set the low 32 bits.
TEST_F(ApiLargeFilesTest, SearchSizeBoundsAbove32BitsAreWholeInThe64BitForms) {
  std::shared_ptr<IP2PSearchRequest> request;
  ASSERT_EQ(manager_->get_SearchRequest(&request), S_OK);
  const uint64_t above = (uint64_t{1} << 32) + 1;
  ASSERT_EQ(request->put_MinSize64(above), S_OK);
  ASSERT_EQ(request->put_MaxSize64(P2P::Protocol::kMaxFileSize), S_OK);
  uint64_t whole = 0;
  int32_t narrow = 0;
  EXPECT_EQ(request->get_MinSize64(&whole), S_OK);
  EXPECT_EQ(whole, above);
  EXPECT_EQ(request->get_MinSize(&narrow), S_OK);
  EXPECT_EQ(narrow, -1);
  EXPECT_EQ(request->get_MaxSize64(&whole), S_OK);
  EXPECT_EQ(whole, P2P::Protocol::kMaxFileSize);
  EXPECT_EQ(request->get_MaxSize(&narrow), S_OK);
  EXPECT_EQ(narrow, -1);

  EXPECT_EQ(request->put_MinSize64(P2P::Protocol::kMaxFileSize + 1), E_INVALIDARG);
  EXPECT_EQ(request->put_MaxSize64(UINT64_MAX), E_INVALIDARG);
  EXPECT_EQ(request->get_MinSize64(&whole), S_OK);
  EXPECT_EQ(whole, above) << "a refused bound leaves the one set";

  // The old slots take up to 4 GiB - 1, a negative value meaning its unsigned 32 bits.
  ASSERT_EQ(request->put_MinSize(-2), S_OK);
  EXPECT_EQ(request->get_MinSize64(&whole), S_OK);
  EXPECT_EQ(whole, 0xFFFFFFFEu);
  EXPECT_EQ(request->get_MinSize(&narrow), S_OK);
  EXPECT_EQ(narrow, -2);
  EXPECT_EQ(request->get_MinSize64(nullptr), E_POINTER);
}

// A search whose lower bound is 4 GiB finds the indexed 5 GiB file and not the 1 MB one.
TEST_F(ApiLargeFilesTest, SearchByASizeAbove32BitsFindsOnlyTheLargeFile) {
  for (const uint64_t size : {uint64_t{1} << 20, 5 * kGiB}) {
    IndexedFile indexed;
    indexed.hash = HashFor(size).bytes;
    indexed.name = "bounded disc " + std::to_string(size) + ".iso";
    indexed.size = size;
    server_.AddFile(indexed);
  }
  std::shared_ptr<IP2PSearchRequest> request;
  std::shared_ptr<IP2PSearchResultFileList> results;
  ASSERT_EQ(manager_->get_SearchRequest(&request), S_OK);
  ASSERT_EQ(manager_->get_SearchResultFileList(&results), S_OK);
  auto events = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(results->Advise(events, &cookie), S_OK);
  ASSERT_EQ(request->put_Keyword("bounded disc"), S_OK);
  ASSERT_EQ(request->put_MinSize64(4 * kGiB), S_OK);
  ASSERT_TRUE(WaitUntil([&] { return module_->GetConnectionManager().IsConnected(); }));
  ASSERT_EQ(request->Search(), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return events->HasPrefix("OnResultAdded "); }));

  // One reply carries every result the server found.
  int32_t count = 0;
  ASSERT_EQ(results->get_Count(&count), S_OK);
  ASSERT_EQ(count, 1);
  std::shared_ptr<IP2PSearchResultFile> result;
  ASSERT_EQ(results->get_Item(1, &result), S_OK);
  uint64_t size = 0;
  EXPECT_EQ(result->get_Size64(&size), S_OK);
  EXPECT_EQ(size, 5 * kGiB);
  results->Unadvise(cookie);
}

}  // namespace
}  // namespace tarn::test
