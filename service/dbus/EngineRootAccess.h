// The engine parts the automation objects use, taken from the engine root.
#pragma once

#include <memory>

#include "engine/core/TARNNetClientModule.h"
#include "service/automation/EngineAccess.h"

namespace OSTREL::COM {

inline std::shared_ptr<IEngineAccess> AccessTo(P2P::CTARNNetClientModule& root) {
  auto parts = std::make_shared<SEngineParts>();
  parts->config = &root.GetConfig();
  parts->servers = &root.GetServerManager();
  parts->downloads = &root.GetDownloadFileManager();
  parts->uploads = &root.GetUploadFileManager();
  parts->searches = &root.GetSearchManager();
  parts->connection = &root.GetConnectionManager();
  parts->credits = &root.GetClientCreditList();
  // Made by the engine's start, which runs before the API is published.
  parts->uploadService = root.GetUploadService();
  return parts;
}

}  // namespace OSTREL::COM
