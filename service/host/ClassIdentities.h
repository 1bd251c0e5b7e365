// The identities the host registers: the AppID, the type library and the eleven automation
// classes with their CLSIDs, in the order of the object map. Constants only.
#pragma once

#include <array>
#include <string_view>

namespace OSTREL::Process {

// The service's name as the registration stores it ("LocalService"), kept letter for letter
// since registrations already written carry it; what people read is the description.
inline constexpr std::string_view kServiceName = "TARN Client Network Serivce";
inline constexpr std::string_view kServiceDescription = "TARN Client Network Service";
inline constexpr std::string_view kAppId = "{276AB714-29A9-4934-BFB3-7AFAF9C28768}";
inline constexpr std::string_view kAppIdName = "TARNSVC";
inline constexpr std::string_view kExecutableAppIdKey = "TARNSVC.EXE";
inline constexpr std::string_view kTypeLibId = "{4DC2FB79-5F7D-4AB5-849E-0034AD4589F0}";
inline constexpr std::string_view kProgIdPrefix = "TARNSVC.";

// The D-Bus side of the same registration.
inline constexpr std::string_view kBusName = "com.ostrel.TarnSvc";
inline constexpr std::string_view kSystemdUnitName = "tarnsvc.service";

struct SClassIdentity {
  std::string_view name;  // the class name without its leading C
  std::string_view clsid;
};

inline constexpr std::array<SClassIdentity, 11> kClasses{{
    {"P2PServiceManager", "{111DF4FD-B232-4212-BDA6-6F33B3CB94B5}"},
    {"P2PServerList", "{9757F7C1-C6DE-4B49-9941-133BA1EA6954}"},
    {"P2PSharedFileList", "{6DB9E301-3D31-4798-A96E-BB5EEB93F198}"},
    {"P2PDownloadFileList", "{22B49480-AA0F-44DE-BCAE-256145899D9F}"},
    {"P2PServer", "{E57EF4FB-65C9-4B76-B1D5-FA3A2DE0EADD}"},
    {"P2PSharedFile", "{26DFD795-F663-4317-AB1C-959B2A985924}"},
    {"P2PDownloadFile", "{C3818A10-BCDB-4814-A152-E2E6BA478446}"},
    {"P2PConfig", "{3BB21CB7-1353-4DA0-9F3C-B48ACC578F98}"},
    {"P2PSearchResultFile", "{275D0311-5F27-44C6-AA2E-A9C131E1596C}"},
    {"P2PSearchResultFileList", "{60313F14-D24F-4A32-9E22-47547537151D}"},
    {"P2PSearchRequest", "{7F2F22FE-1C1E-4F55-BA1C-6BDA64467289}"},
}};

}  // namespace OSTREL::Process
