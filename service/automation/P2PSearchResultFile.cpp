#include "service/automation/P2PSearchResultFile.h"

#include "platform/FileTypeName.h"

namespace OSTREL::COM {
namespace {

using Result = P2P::Shared::File::SearchResultFile::CTARNNetSearchResultFile;

// The size's slot answers its low 32 bits.
int32_t AsLong(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

template <typename T, typename Read>
HRESULT Answer(const CP2PSearchResultFile::ResultPtr& result, T* out, Read read) {
  if (out == nullptr) return E_POINTER;
  if (!result) return E_FAIL;
  *out = read(*result);
  return S_OK;
}

}  // namespace

HRESULT CP2PSearchResultFile::get_Key(int32_t* value) {
  return Answer(result_, value, [](Result& f) { return AsLong(f.GetId()); });
}
HRESULT CP2PSearchResultFile::get_Hash(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetHash().ToHex(); });
}
HRESULT CP2PSearchResultFile::get_Name(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetName(); });
}
HRESULT CP2PSearchResultFile::get_AlternativeNames(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetOtherName(); });
}
HRESULT CP2PSearchResultFile::get_Size(int32_t* value) {
  return Answer(result_, value, [](Result& f) { return AsLong(f.GetSize()); });
}
HRESULT CP2PSearchResultFile::get_Size64(uint64_t* value) {
  return Answer(result_, value, [](Result& f) { return f.GetSize(); });
}
HRESULT CP2PSearchResultFile::get_Format(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetFormat(); });
}
HRESULT CP2PSearchResultFile::get_Tag5Value(int32_t* value) {
  return Answer(result_, value, [](Result& f) { return AsLong(f.GetTag5Value()); });
}
HRESULT CP2PSearchResultFile::get_Nodes(int32_t* value) {
  return Answer(result_, value, [](Result& f) { return AsLong(f.GetSourceCount()); });
}
HRESULT CP2PSearchResultFile::get_CompleteNodes(int32_t* value) {
  return Answer(result_, value, [](Result& f) { return AsLong(f.GetSecondCount()); });
}
HRESULT CP2PSearchResultFile::get_TypeName(std::string* value) {
  return Answer(result_, value, [](Result& f) { return Platform::FileTypeName(f.GetName()); });
}
HRESULT CP2PSearchResultFile::get_Duration(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetMediaLength(); });
}
HRESULT CP2PSearchResultFile::get_Bitrate(int32_t* value) {
  return Answer(result_, value, [](Result& f) { return AsLong(f.GetMediaBitrate()); });
}
HRESULT CP2PSearchResultFile::get_Album(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetMediaAlbum(); });
}
HRESULT CP2PSearchResultFile::get_Artist(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetMediaArtist(); });
}
HRESULT CP2PSearchResultFile::get_Title(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetMediaTitle(); });
}
HRESULT CP2PSearchResultFile::get_Codec(std::string* value) {
  return Answer(result_, value, [](Result& f) { return f.GetMediaCodec(); });
}

}  // namespace OSTREL::COM
