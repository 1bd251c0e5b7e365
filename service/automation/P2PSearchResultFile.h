// One search result as an automation item: live values of the engine's result object, which
// it holds a reference on. A null out pointer answers E_POINTER. Any thread.
#pragma once

#include <memory>

#include "engine/search/SearchResultFile.h"
#include "framework/ReferencePtr.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

class CP2PSearchResultFile : public IP2PSearchResultFile {
 public:
  using ResultPtr = CReferencePtr<P2P::Shared::File::SearchResultFile::CTARNNetSearchResultFile>;

  explicit CP2PSearchResultFile(ResultPtr result) : result_(std::move(result)) {}

  HRESULT get_Key(int32_t* value) override;
  HRESULT get_Hash(std::string* value) override;
  HRESULT get_Name(std::string* value) override;
  HRESULT get_AlternativeNames(std::string* value) override;
  HRESULT get_Size(int32_t* value) override;
  HRESULT get_Format(std::string* value) override;
  HRESULT get_Tag5Value(int32_t* value) override;
  HRESULT get_Nodes(int32_t* value) override;
  HRESULT get_CompleteNodes(int32_t* value) override;
  HRESULT get_TypeName(std::string* value) override;
  HRESULT get_Duration(std::string* value) override;
  HRESULT get_Bitrate(int32_t* value) override;
  HRESULT get_Album(std::string* value) override;
  HRESULT get_Artist(std::string* value) override;
  HRESULT get_Title(std::string* value) override;
  HRESULT get_Codec(std::string* value) override;
  HRESULT get_Size64(uint64_t* value) override;

 private:
  ResultPtr result_;
};

}  // namespace OSTREL::COM
