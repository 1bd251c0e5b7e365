// What the automation objects reach in the engine: the configuration record and the managers.
// Every getter may answer null (no engine: before start, after stop, or a failed start), and
// every caller checks. Any thread.
#pragma once

namespace P2P {
struct _tagStructClientConfig;
class CTARNNetServerManager;
class CTARNNetDownloadFileManager;
class CTARNNetUploadFileManager;
class CTARNNetSearchManager;
class CTARNNetConnectionManager;
class CTARNNetUploadService;
namespace Credit {
class CTARNNetClientCreditList;
}
}  // namespace P2P

namespace OSTREL::COM {

class IEngineAccess {
 public:
  virtual ~IEngineAccess() = default;
  virtual P2P::_tagStructClientConfig* Config() = 0;
  virtual P2P::CTARNNetServerManager* Servers() = 0;
  virtual P2P::CTARNNetDownloadFileManager* Downloads() = 0;
  virtual P2P::CTARNNetUploadFileManager* Uploads() = 0;
  virtual P2P::CTARNNetSearchManager* Searches() = 0;
  virtual P2P::CTARNNetConnectionManager* Connection() { return nullptr; }
  virtual P2P::Credit::CTARNNetClientCreditList* Credits() { return nullptr; }
  virtual P2P::CTARNNetUploadService* UploadService() { return nullptr; }
};

// The managers of one engine, given one by one (the engine root, or managers a test made).
struct SEngineParts : IEngineAccess {
  P2P::_tagStructClientConfig* config = nullptr;
  P2P::CTARNNetServerManager* servers = nullptr;
  P2P::CTARNNetDownloadFileManager* downloads = nullptr;
  P2P::CTARNNetUploadFileManager* uploads = nullptr;
  P2P::CTARNNetSearchManager* searches = nullptr;
  P2P::CTARNNetConnectionManager* connection = nullptr;
  P2P::Credit::CTARNNetClientCreditList* credits = nullptr;
  P2P::CTARNNetUploadService* uploadService = nullptr;

  P2P::_tagStructClientConfig* Config() override { return config; }
  P2P::CTARNNetServerManager* Servers() override { return servers; }
  P2P::CTARNNetDownloadFileManager* Downloads() override { return downloads; }
  P2P::CTARNNetUploadFileManager* Uploads() override { return uploads; }
  P2P::CTARNNetSearchManager* Searches() override { return searches; }
  P2P::CTARNNetConnectionManager* Connection() override { return connection; }
  P2P::Credit::CTARNNetClientCreditList* Credits() override { return credits; }
  P2P::CTARNNetUploadService* UploadService() override { return uploadService; }
};

}  // namespace OSTREL::COM
