// A shared file as an automation item: live values of its engine transfer file, which it
// holds a reference on. Any thread.
#pragma once

#include "service/automation/P2PInterfaces.h"
#include "service/automation/TransferFileItem.h"

namespace OSTREL::COM {

class CP2PSharedFile : public IP2PSharedFile {
 public:
  CP2PSharedFile(std::shared_ptr<SAutomationContext> context, CTransferFileItem::FilePtr file)
      : item_(std::move(context), std::move(file)) {}

  HRESULT get_Key(int32_t* value) override { return item_.Key(value); }
  HRESULT get_FullPathName(std::string* value) override { return item_.FullPathName(value); }
  HRESULT get_Hash(std::string* value) override { return item_.Hash(value); }
  HRESULT get_Name(std::string* value) override { return item_.Name(value); }
  HRESULT Rename(const std::string* name) override { return item_.Rename(name); }
  HRESULT get_Size(int32_t* value) override { return item_.Size(value); }
  HRESULT get_TypeName(std::string* value) override { return item_.TypeName(value); }
  HRESULT get_CreationTime(std::string* value) override { return item_.CreationTime(value); }
  HRESULT get_LastWriteTime(std::string* value) override { return item_.LastWriteTime(value); }
  HRESULT get_Size64(uint64_t* value) override { return item_.Size64(value); }

 private:
  CTransferFileItem item_;
};

}  // namespace OSTREL::COM
