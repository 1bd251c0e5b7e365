#include "service/automation/P2PDownloadFile.h"

#include "engine/download/DownloadFileData.h"
#include "engine/download/DownloadFileManager.h"

namespace OSTREL::COM {
namespace {

using File = CTransferFileItem::File;

// The slots of sizes answer their low 32 bits.
int32_t AsLong(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }
int16_t AsBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

HRESULT CP2PDownloadFile::get_AlternativeNames(std::string* value) {
  return item_.Answer(value, [](File& f) { return f.GetOtherName(); });
}
HRESULT CP2PDownloadFile::get_Nodes(int32_t* value) {
  return item_.Answer(value, [](File& f) { return AsLong(f.GetSourceCount()); });
}
HRESULT CP2PDownloadFile::get_CompletedSize(int32_t* value) {
  return item_.Answer(value, [](File& f) { return AsLong(f.Data()->CompletedBytes()); });
}
HRESULT CP2PDownloadFile::get_CompletedSize64(uint64_t* value) {
  return item_.Answer(value, [](File& f) { return f.Data()->CompletedBytes(); });
}
HRESULT CP2PDownloadFile::get_CompleteNodes(int32_t* value) {
  return item_.Answer(value, [](File& f) { return AsLong(f.GetSecondCount()); });
}
HRESULT CP2PDownloadFile::get_Duration(std::string* value) {
  return item_.Answer(value, [](File& f) { return f.GetMediaLength(); });
}
HRESULT CP2PDownloadFile::get_Bitrate(int32_t* value) {
  return item_.Answer(value, [](File& f) { return AsLong(f.GetMediaBitrate()); });
}
HRESULT CP2PDownloadFile::get_Album(std::string* value) {
  return item_.Answer(value, [](File& f) { return f.GetMediaAlbum(); });
}
HRESULT CP2PDownloadFile::get_Artist(std::string* value) {
  return item_.Answer(value, [](File& f) { return f.GetMediaArtist(); });
}
HRESULT CP2PDownloadFile::get_Title(std::string* value) {
  return item_.Answer(value, [](File& f) { return f.GetMediaTitle(); });
}
HRESULT CP2PDownloadFile::get_Codec(std::string* value) {
  return item_.Answer(value, [](File& f) { return f.GetMediaCodec(); });
}
HRESULT CP2PDownloadFile::get_ReceivedSize(int32_t* value) {
  return item_.Answer(value, [](File& f) { return AsLong(f.Data()->ReceivedBytes()); });
}
HRESULT CP2PDownloadFile::get_ReceivedSize64(uint64_t* value) {
  return item_.Answer(value, [](File& f) { return f.Data()->ReceivedBytes(); });
}
HRESULT CP2PDownloadFile::get_Speed(int32_t* value) {
  return item_.Answer(value, [](File& f) { return AsLong(f.Data()->Speed()); });
}
HRESULT CP2PDownloadFile::get_IsPaused(int16_t* value) {
  return item_.Answer(value, [](File& f) { return AsBool(f.Data()->IsPaused()); });
}
HRESULT CP2PDownloadFile::get_IsStopped(int16_t* value) {
  return item_.Answer(value, [](File& f) { return AsBool(f.Data()->IsStopped()); });
}

HRESULT CP2PDownloadFile::Pause() {
  if (!item_.Get()) return E_FAIL;
  item_.Get()->Data()->SetPaused(true);
  return S_OK;
}

HRESULT CP2PDownloadFile::Stop() {
  if (!item_.Get()) return E_FAIL;
  item_.Get()->Data()->SetStopped(true);
  return S_OK;
}

HRESULT CP2PDownloadFile::Resume() {
  if (!item_.Get()) return E_FAIL;
  item_.Get()->Data()->Resume();
  return S_OK;
}

HRESULT CP2PDownloadFile::get_FailureReason(std::string* value) {
  return item_.Answer(value, [](File& f) {
    const auto download = f.DataAs<P2P::Shared::File::TransferFile::CTARNNetDownloadFileData>();
    return download ? download->FailureReason() : std::string();
  });
}

// Through the manager, so the download leaves its lists and the removal is announced.
HRESULT CP2PDownloadFile::Cancel() {
  auto* downloads = item_.Context().engine->Downloads();
  if (!item_.Get() || downloads == nullptr) return E_FAIL;
  downloads->CancelDownload(item_.Get());
  return S_OK;
}

}  // namespace OSTREL::COM
