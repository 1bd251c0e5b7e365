#include "service/automation/ListRows.h"

#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {
namespace {

// A getter's value, or the value's default when it fails.
template <typename Object, typename Value>
Value Read(Object& object, HRESULT (Object::*getter)(Value*)) {
  Value value{};
  if (!Succeeded((object.*getter)(&value))) return Value{};
  return value;
}

template <typename Object>
uint32_t Unsigned(Object& object, HRESULT (Object::*getter)(int32_t*)) {
  return static_cast<uint32_t>(Read(object, getter));
}

// A size by its 64-bit getter, or by its 32-bit slot from an object without one.
template <typename Object>
uint64_t Whole(Object& object, HRESULT (Object::*wide)(uint64_t*),
               HRESULT (Object::*slot)(int32_t*)) {
  uint64_t value = 0;
  if (Succeeded((object.*wide)(&value))) return value;
  return Unsigned(object, slot);
}

// What a download and a shared file have alike.
template <typename Row, typename File>
Row FileRowOf(File& file) {
  Row row;
  row.key = Read(file, &File::get_Key);
  row.hash = Read(file, &File::get_Hash);
  row.name = Read(file, &File::get_Name);
  row.fullPath = Read(file, &File::get_FullPathName);
  row.typeName = Read(file, &File::get_TypeName);
  row.creationTime = Read(file, &File::get_CreationTime);
  row.lastWriteTime = Read(file, &File::get_LastWriteTime);
  row.size = Whole(file, &File::get_Size64, &File::get_Size);
  return row;
}

}  // namespace

SServerRowData ServerRowOf(IP2PServer& server) {
  SServerRowData row;
  row.key = Read(server, &IP2PServer::get_Key);
  row.ip = Unsigned(server, &IP2PServer::get_IP);
  row.port = static_cast<uint16_t>(Read(server, &IP2PServer::get_Port));
  row.name = Read(server, &IP2PServer::get_Name);
  row.description = Read(server, &IP2PServer::get_Description);
  row.users = Unsigned(server, &IP2PServer::get_Users);
  row.maxUsers = Unsigned(server, &IP2PServer::get_MaxUsers);
  row.files = Unsigned(server, &IP2PServer::get_Files);
  row.ping = Unsigned(server, &IP2PServer::get_Ping);
  return row;
}

SDownloadRowData DownloadRowOf(IP2PDownloadFile& file) {
  using F = IP2PDownloadFile;
  auto row = FileRowOf<SDownloadRowData>(file);
  row.completed = Whole(file, &F::get_CompletedSize64, &F::get_CompletedSize);
  row.received = Whole(file, &F::get_ReceivedSize64, &F::get_ReceivedSize);
  row.speed = Unsigned(file, &F::get_Speed);
  row.sources = Unsigned(file, &F::get_Nodes);
  row.completeSources = Unsigned(file, &F::get_CompleteNodes);
  row.paused = Read(file, &F::get_IsPaused) != 0;
  row.stopped = Read(file, &F::get_IsStopped) != 0;
  row.failure = Read(file, &F::get_FailureReason);
  return row;
}

SSharedRowData SharedRowOf(IP2PSharedFile& file) { return FileRowOf<SSharedRowData>(file); }

}  // namespace OSTREL::COM
