// A download as an automation item: live values of its engine transfer file, which it holds
// a reference on, and the pause, stop, resume and cancel operations. Any thread.
#pragma once

#include "service/automation/P2PInterfaces.h"
#include "service/automation/TransferFileItem.h"

namespace OSTREL::COM {

class CP2PDownloadFile : public IP2PDownloadFile {
 public:
  CP2PDownloadFile(std::shared_ptr<SAutomationContext> context, CTransferFileItem::FilePtr file)
      : item_(std::move(context), std::move(file)) {}

  HRESULT get_Key(int32_t* value) override { return item_.Key(value); }
  HRESULT get_FullPathName(std::string* value) override { return item_.FullPathName(value); }
  HRESULT get_Hash(std::string* value) override { return item_.Hash(value); }
  HRESULT get_Name(std::string* value) override { return item_.Name(value); }
  HRESULT Rename(const std::string* name) override { return item_.Rename(name); }
  HRESULT get_AlternativeNames(std::string* value) override;
  HRESULT get_Size(int32_t* value) override { return item_.Size(value); }
  HRESULT get_TypeName(std::string* value) override { return item_.TypeName(value); }
  HRESULT get_CreationTime(std::string* value) override { return item_.CreationTime(value); }
  HRESULT get_LastWriteTime(std::string* value) override { return item_.LastWriteTime(value); }
  HRESULT get_Nodes(int32_t* value) override;
  HRESULT get_CompletedSize(int32_t* value) override;
  HRESULT get_CompleteNodes(int32_t* value) override;
  HRESULT get_Duration(std::string* value) override;
  HRESULT get_Bitrate(int32_t* value) override;
  HRESULT get_Album(std::string* value) override;
  HRESULT get_Artist(std::string* value) override;
  HRESULT get_Title(std::string* value) override;
  HRESULT get_Codec(std::string* value) override;
  HRESULT get_ReceivedSize(int32_t* value) override;
  HRESULT get_Speed(int32_t* value) override;
  HRESULT get_IsPaused(int16_t* value) override;
  HRESULT get_IsStopped(int16_t* value) override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT Resume() override;
  HRESULT Cancel() override;
  HRESULT get_FailureReason(std::string* value) override;
  HRESULT get_Size64(uint64_t* value) override { return item_.Size64(value); }
  HRESULT get_CompletedSize64(uint64_t* value) override;
  HRESULT get_ReceivedSize64(uint64_t* value) override;

 private:
  CTransferFileItem item_;
};

}  // namespace OSTREL::COM
