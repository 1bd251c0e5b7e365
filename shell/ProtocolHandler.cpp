#include "shell/ProtocolHandler.h"

#include "service/automation/HResult.h"
#include "shell/ShellStrings.h"

namespace tarn::shell {

using OSTREL::COM::HRESULT;
using OSTREL::COM::RPC_E_DISCONNECTED;
using OSTREL::COM::S_FALSE;
using P2P::Protocol::ELinkKind;

CProtocolHandler::CProtocolHandler(OSTREL::COM::CApiClient* client, IDesktopNotifier* notifier,
                                   std::ostream& err)
    : client_(client), notifier_(notifier), err_(err) {}

int CProtocolHandler::Handle(std::string_view text) {
  P2P::Protocol::SEd2kLink link;
  P2P::Protocol::SLinkError error;
  if (!P2P::Protocol::ReadEd2kLink(text, link, error))
    return Fail(kExitBadInput, kStrLinkRefused, error.Message());
  if (client_ == nullptr) return Unreachable();
  switch (link.kind) {
    case ELinkKind::kFile:
      return StartDownload(link);
    case ELinkKind::kServer:
      return AddServer(link);
    case ELinkKind::kServerList:
      return Fail(kExitRefused, kStrLinkRefused,
                  "server-list links are not supported: TARN fetches no lists from the web");
  }
  return kExitBadInput;
}

int CProtocolHandler::StartDownload(const P2P::Protocol::SEd2kLink& link) {
  const std::string hash = link.hash.ToHex();
  std::string reason;
  const HRESULT hr =
      client_->ServiceManager()->AddDownload64(&hash, link.size, std::nullopt, link.name, &reason);
  if (hr == RPC_E_DISCONNECTED) return Unreachable();
  if (hr == OSTREL::COM::STG_E_MEDIUMFULL)
    return Fail(kExitRefused, kStrDownloadRefused, link.name + ": " + reason);
  if (hr == S_FALSE)
    return Fail(kExitRefused, kStrDownloadRefused, link.name + ": already downloading or shared");
  if (!OSTREL::COM::Succeeded(hr))
    return Fail(kExitRefused, kStrDownloadRefused,
                link.name + ": the daemon refused it (" + OSTREL::COM::HResultText(hr) + ")");
  outcome_ = "Downloading " + link.name + ".";
  return kExitOk;
}

int CProtocolHandler::AddServer(const P2P::Protocol::SEd2kLink& link) {
  const std::string address = link.host + ":" + std::to_string(link.port);
  const HRESULT hr = client_->ServerConnection()->AddServer(address);
  if (hr == RPC_E_DISCONNECTED) return Unreachable();
  // A server already listed is where the link wanted it.
  if (OSTREL::COM::Succeeded(hr)) {
    outcome_ = "Server " + address + (hr == S_FALSE ? " was already listed." : " added.");
    return kExitOk;
  }
  return Fail(kExitRefused, kStrDownloadRefused,
              "server " + address + ": the daemon refused it (" +
                  (hr == OSTREL::COM::E_INVALIDARG ? std::string("a dotted IPv4 address is needed")
                                                   : OSTREL::COM::HResultText(hr)) +
                  ")");
}

int CProtocolHandler::Unreachable() {
  const std::string bus = client_ != nullptr ? "on its bus" : "(there is no bus to reach it on)";
  return Fail(kExitUnreachable, kStrDaemonUnreachable,
              "nothing answers as com.ostrel.TarnSvc " + bus +
                  "; start tarnsvc, or register it with tarnsvc -RegServer so that links start it");
}

int CProtocolHandler::Fail(int status, int summary, const std::string& reason) {
  outcome_ = std::string(ShellString(summary)) + ": " + reason;
  err_ << "tarnshell: " << outcome_ << "\n";
  err_.flush();
  if (notifier_ != nullptr) notifier_->Notify({std::string(ShellString(summary)), reason, {}, -1});
  return status;
}

}  // namespace tarn::shell
