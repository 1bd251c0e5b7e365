// What download and shared-file items have in common: a reference on one engine transfer
// file (kept after the engine dropped the file, so a held item keeps answering), its getters
// with the item rule for null out pointers (E_INVALIDARG), and Rename. Any thread.
#pragma once

#include <memory>
#include <string>

#include "engine/transfer/TransferFile.h"
#include "service/automation/AutomationContext.h"
#include "service/automation/HResult.h"

namespace OSTREL::COM {

class CTransferFileItem {
 public:
  using FilePtr = P2P::Shared::File::TransferFile::CTransferFilePtr;
  using File = P2P::Shared::File::TransferFile::CTARNNetTransferFile;

  CTransferFileItem(std::shared_ptr<SAutomationContext> context, FilePtr file);

  template <typename T, typename Read>
  HRESULT Answer(T* out, Read read) const {
    if (out == nullptr) return E_INVALIDARG;
    if (!file_) return E_FAIL;
    *out = read(*file_);
    return S_OK;
  }

  HRESULT Key(int32_t* value) const;
  HRESULT FullPathName(std::string* value) const;
  HRESULT Hash(std::string* value) const;
  HRESULT Name(std::string* value) const;
  // The low 32 bits, as the size's slot has always answered.
  HRESULT Size(int32_t* value) const;
  HRESULT Size64(uint64_t* value) const;
  HRESULT TypeName(std::string* value) const;
  HRESULT CreationTime(std::string* value) const;
  HRESULT LastWriteTime(std::string* value) const;
  // Moves the file's data to `name` in its current folder (the shared folder when it has no
  // path yet). Only a plain file name is accepted: no folders, no "..".
  HRESULT Rename(const std::string* name) const;

  const FilePtr& Get() const { return file_; }
  SAutomationContext& Context() const { return *context_; }

 private:
  std::shared_ptr<SAutomationContext> context_;
  FilePtr file_;
};

}  // namespace OSTREL::COM
