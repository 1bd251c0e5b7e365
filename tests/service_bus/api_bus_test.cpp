#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "engine/servers/ServerManager.h"
#include "service/automation/FileRecords.h"
#include "tests/service_bus/ApiBusFixture.h"

namespace tarn::test {
namespace {

constexpr const char* kHash = "0123456789ABCDEF0123456789ABCDEF";

TEST_F(ApiBusTest, ConfigObjectsShareTheEngineRecord) {
  std::shared_ptr<IP2PConfig> first, second;
  ASSERT_EQ(manager_->get_Config(&first), S_OK);
  ASSERT_EQ(manager_->get_Config(&second), S_OK);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());

  EXPECT_EQ(first->put_UserName("tester"), S_OK);
  std::string name;
  EXPECT_EQ(second->get_UserName(&name), S_OK);
  EXPECT_EQ(name, "tester");
  EXPECT_EQ(module_->GetConfig().userName, "tester");

  EXPECT_EQ(first->put_TCPPort(4777), S_OK);
  EXPECT_EQ(first->put_UDPPort(4781), S_OK);
  int16_t tcp = 0, udp = 0;
  EXPECT_EQ(second->get_TCPPort(&tcp), S_OK);
  EXPECT_EQ(second->get_UDPPort(&udp), S_OK);
  EXPECT_EQ(tcp, 4777);
  EXPECT_EQ(udp, 4781);

  std::string config, temp, shared;
  EXPECT_EQ(first->get_ConfigPath(&config), S_OK);
  EXPECT_EQ(first->get_TempPath(&temp), S_OK);
  EXPECT_EQ(first->get_SharedPath(&shared), S_OK);
  EXPECT_EQ(config, module_->GetConfig().configPath);
  EXPECT_EQ(temp, module_->GetConfig().tempPath);
  EXPECT_EQ(shared, module_->GetConfig().sharedPath);
  EXPECT_EQ(first->get_UserName(nullptr), E_POINTER);
}

TEST_F(ApiBusTest, ServerListAnswersByPositionAndKeyAndSignalsAdditions) {
  std::shared_ptr<IP2PServerList> list;
  ASSERT_EQ(manager_->get_ServerList(&list), S_OK);
  auto events = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(list->Advise(events, &cookie), S_OK);
  // Another client listening for every signal of the service hears none of ours.
  auto bystander = sdbus::createSessionBusConnection();
  size_t overheard = 0;
  auto match = bystander->addMatch("type='signal',sender='com.ostrel.TarnSvc'",
                                   [&](sdbus::Message&) { ++overheard; });

  const auto* added = module_->GetServerManager().AddAddress(0x0500007F, 4242);  // 127.0.0.5
  ASSERT_NE(added, nullptr);
  const uint32_t key = added->id;
  ASSERT_TRUE(PumpUntil([&] { return events->Has("OnServerAdded " + std::to_string(key)); }))
      << ::testing::PrintToString(events->lines);
  // The bystander hears the bus's own signal about the client we start now, so its match
  // works; nothing of the service comes before it.
  size_t busSignals = 0;
  auto busMatch = bystander->addMatch("type='signal',sender='org.freedesktop.DBus'",
                                      [&](sdbus::Message&) { ++busSignals; });
  auto another = sdbus::createSessionBusConnection();
  for (int i = 0; i < 100 && busSignals == 0; ++i) {
    while (bystander->processPendingRequest()) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(busSignals, 0u);
  EXPECT_EQ(overheard, 0u) << "events go to the client that advised, not to the whole bus";

  int32_t count = 0;
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, static_cast<int32_t>(module_->GetServerManager().Count()));
  std::shared_ptr<IP2PServer> server;
  EXPECT_EQ(list->get_Item(0, &server), E_INVALIDARG);
  EXPECT_EQ(list->get_Item(count + 1, &server), E_FAIL);
  EXPECT_EQ(server, nullptr);
  std::shared_ptr<IP2PUnknown> enumerator;
  EXPECT_EQ(list->get__NewEnum(&enumerator), E_NOTIMPL);

  ASSERT_EQ(list->get_ItemByKey(static_cast<int32_t>(key), &server), S_OK);
  ASSERT_TRUE(server);
  int32_t value = 0;
  int16_t port = 0;
  EXPECT_EQ(server->get_Key(&value), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(value), key);
  EXPECT_EQ(server->get_IP(&value), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(value), 0x0500007Fu);
  EXPECT_EQ(server->get_Port(&port), S_OK);
  EXPECT_EQ(port, 4242);
  std::string text;
  EXPECT_EQ(server->get_Name(&text), S_OK);
  EXPECT_EQ(server->get_Description(&text), S_OK);
  for (auto getter : {&IP2PServer::get_Users, &IP2PServer::get_MaxUsers, &IP2PServer::get_Files,
                      &IP2PServer::get_SoftFiles, &IP2PServer::get_HardFiles,
                      &IP2PServer::get_Ping}) {
    EXPECT_EQ(((*server).*getter)(&value), S_OK);
  }
  EXPECT_EQ(server->Reserved(std::nullopt), S_OK);

  std::shared_ptr<IP2PServer> first;
  ASSERT_EQ(list->get_Item(1, &first), S_OK);
  EXPECT_EQ(first->get_Key(&value), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(value), module_->GetServerManager().At(1)->id);
  EXPECT_EQ(list->get_ItemByKey(-1, &server), E_FAIL);

  EXPECT_EQ(list->Unadvise(cookie), S_OK);
  EXPECT_EQ(list->Unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ApiBusTest, AddDownloadRefusesMalformedRequestsAndStartsOnce) {
  std::shared_ptr<IP2PDownloadFileList> list;
  ASSERT_EQ(manager_->get_DownloadFileList(&list), S_OK);
  auto events = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(list->Advise(events, &cookie), S_OK);

  const std::string hash = kHash;
  const std::string shortHash = "0123456789ABCDEF";
  const std::string badHash = "0123456789ABCDEF0123456789ABCDEX";
  EXPECT_EQ(manager_->AddDownload(nullptr, 1000, std::nullopt, std::nullopt), E_INVALIDARG);
  EXPECT_EQ(manager_->AddDownload(&badHash, 1000, std::nullopt, std::nullopt), E_INVALIDARG);
  EXPECT_EQ(manager_->AddDownload(&shortHash, 1000, std::nullopt, std::nullopt), E_INVALIDARG);
  EXPECT_EQ(manager_->AddDownload(&hash, 0, std::nullopt, std::nullopt), E_INVALIDARG);
  EXPECT_EQ(manager_->AddDownload(&hash, -1, std::nullopt, std::nullopt), E_INVALIDARG);
  EXPECT_EQ(manager_->AddDownload(&hash, 1000, std::nullopt, std::string("")), E_INVALIDARG);
  int32_t count = -1;
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  std::shared_ptr<IP2PDownloadFile> none;
  EXPECT_EQ(list->get_Item(1, &none), E_FAIL) << "index 1 of an empty list";

  EXPECT_EQ(manager_->AddDownload(&hash, 1000, std::nullopt, std::string("song.ogg")), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return events->HasPrefix("OnFileAdded "); }));
  const size_t seen = events->lines.size();
  EXPECT_EQ(manager_->AddDownload(&hash, 1000, std::nullopt, std::string("again.ogg")), S_FALSE);
  client_->Pump(std::chrono::milliseconds(200));
  for (size_t i = seen; i < events->lines.size(); ++i)
    EXPECT_EQ(events->lines[i].rfind("OnFileAdded", 0), std::string::npos) << events->lines[i];

  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  std::shared_ptr<IP2PDownloadFile> file;
  ASSERT_EQ(list->get_Item(1, &file), S_OK);
  int32_t key = 0;
  ASSERT_EQ(file->get_Key(&key), S_OK);
  EXPECT_TRUE(events->Has("OnFileAdded " + std::to_string(static_cast<uint32_t>(key))));
  std::string text;
  EXPECT_EQ(file->get_Hash(&text), S_OK);
  EXPECT_EQ(text, hash);
  EXPECT_EQ(file->get_Name(&text), S_OK);
  EXPECT_EQ(text, "song.ogg");
  int32_t size = 0;
  EXPECT_EQ(file->get_Size(&size), S_OK);
  EXPECT_EQ(size, 1000);
  EXPECT_EQ(list->Add(std::nullopt), E_FAIL);
  EXPECT_EQ(list->Remove(std::nullopt), E_FAIL);

  // The bulk call says in one reply what the item says value by value.
  std::vector<SDownloadRowData> rows;
  ASSERT_EQ(list->GetRows(&rows), S_OK);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].key, key);
  EXPECT_EQ(rows[0].hash, hash);
  EXPECT_EQ(rows[0].name, "song.ogg");
  EXPECT_EQ(rows[0].size, 1000u);
  EXPECT_EQ(file->get_TypeName(&text), S_OK);
  EXPECT_EQ(rows[0].typeName, text);
  EXPECT_EQ(rows[0].failure, "");
  EXPECT_EQ(list->GetRows(nullptr), E_POINTER);
  std::shared_ptr<IP2PServerList> servers;
  ASSERT_EQ(manager_->get_ServerList(&servers), S_OK);
  std::vector<SServerRowData> serverRows;
  ASSERT_EQ(servers->GetRows(&serverRows), S_OK);
  ASSERT_EQ(servers->get_Count(&count), S_OK);
  ASSERT_EQ(serverRows.size(), static_cast<size_t>(count));
  EXPECT_EQ(serverRows[0].port, server_.Port());
}

// A client names the folder; the daemon writes there with its own rights. Only the shared
// and temp folders (and those the configuration lists) are taken, and a refusal adds nothing.
TEST_F(ApiBusTest, AddDownloadWritesOnlyToAllowedFoldersAndARefusalChangesNothing) {
  std::shared_ptr<IP2PDownloadFileList> list;
  ASSERT_EQ(manager_->get_DownloadFileList(&list), S_OK);
  std::shared_ptr<IP2PConfig> config;
  ASSERT_EQ(manager_->get_Config(&config), S_OK);
  std::string shared;
  ASSERT_EQ(config->get_SharedPath(&shared), S_OK);
  const std::filesystem::path outside = sandbox_ / "outside";
  std::filesystem::create_directories(outside);
  std::filesystem::create_directory_symlink(outside, std::filesystem::path(shared) / "link");
  sandbox_.WriteFile("blocker", "a file where a folder would go");
  std::filesystem::copy_file(sandbox_ / "blocker", std::filesystem::path(shared) / "taken");

  const std::string hash = kHash;
  const auto add = [&](const std::string& folder) {
    return manager_->AddDownload(&hash, 1000, folder, std::string("song.ogg"));
  };
  EXPECT_EQ(add("/etc/tarn-test"), E_ACCESSDENIED);
  EXPECT_EQ(add(outside.string()), E_ACCESSDENIED);
  EXPECT_EQ(add(shared + "/../../outside"), E_ACCESSDENIED) << "no way out through ..";
  EXPECT_EQ(add(shared + "/link/deeper"), E_ACCESSDENIED) << "no way out through a link";
  EXPECT_EQ(add("relative/folder"), E_INVALIDARG);
  EXPECT_EQ(add(shared + "/taken/sub"), E_INVALIDARG) << "a file blocks the folder";
  EXPECT_FALSE(std::filesystem::exists("/etc/tarn-test"));
  EXPECT_FALSE(std::filesystem::exists(outside / "deeper"));
  int32_t count = -1;
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0) << "a refused request adds nothing";

  EXPECT_EQ(add(shared + "/music/./albums/../singles"), S_OK);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(shared) / "music/albums"));
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
}

TEST_F(ApiBusTest, DownloadItemPausesStopsResumesAndOutlivesItsCancel) {
  std::shared_ptr<IP2PDownloadFileList> list;
  ASSERT_EQ(manager_->get_DownloadFileList(&list), S_OK);
  auto events = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  ASSERT_EQ(list->Advise(events, &cookie), S_OK);
  const std::string hash = kHash;
  ASSERT_EQ(manager_->AddDownload(&hash, 123456, std::nullopt, std::string("clip.avi")), S_OK);
  std::shared_ptr<IP2PDownloadFile> file;
  ASSERT_EQ(list->get_Item(1, &file), S_OK);

  int16_t flag = 0;
  EXPECT_EQ(file->Pause(), S_OK);
  EXPECT_EQ(file->get_IsPaused(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(file->Stop(), S_OK);
  EXPECT_EQ(file->get_IsStopped(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(file->Resume(), S_OK);
  EXPECT_EQ(file->get_IsPaused(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(file->get_IsStopped(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);

  std::string text;
  int32_t number = 0;
  for (auto getter : {&IP2PDownloadFile::get_FullPathName, &IP2PDownloadFile::get_AlternativeNames,
                      &IP2PDownloadFile::get_TypeName, &IP2PDownloadFile::get_CreationTime,
                      &IP2PDownloadFile::get_LastWriteTime, &IP2PDownloadFile::get_Duration,
                      &IP2PDownloadFile::get_Album, &IP2PDownloadFile::get_Artist,
                      &IP2PDownloadFile::get_Title, &IP2PDownloadFile::get_Codec}) {
    EXPECT_EQ(((*file).*getter)(&text), S_OK);
  }
  for (auto getter : {&IP2PDownloadFile::get_Nodes, &IP2PDownloadFile::get_CompletedSize,
                      &IP2PDownloadFile::get_CompleteNodes, &IP2PDownloadFile::get_Bitrate,
                      &IP2PDownloadFile::get_ReceivedSize, &IP2PDownloadFile::get_Speed}) {
    EXPECT_EQ(((*file).*getter)(&number), S_OK);
  }
  EXPECT_EQ(file->get_TypeName(&text), S_OK);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(file->get_Name(nullptr), E_INVALIDARG);
  EXPECT_EQ(file->Rename(nullptr), E_INVALIDARG);
  const std::string escape = "../outside.avi";
  EXPECT_EQ(file->Rename(&escape), E_INVALIDARG);

  int32_t key = 0;
  ASSERT_EQ(file->get_Key(&key), S_OK);
  EXPECT_EQ(file->Cancel(), S_OK);
  ASSERT_TRUE(PumpUntil(
      [&] { return events->Has("OnFileRemoved " + std::to_string(static_cast<uint32_t>(key))); }))
      << ::testing::PrintToString(events->lines);
  // The held item keeps its engine object and keeps answering.
  EXPECT_EQ(file->get_Name(&text), S_OK);
  EXPECT_EQ(text, "clip.avi");
  int32_t count = -1;
  EXPECT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  // Its record says it left without completing.
  std::vector<SDownloadRecord> ended;
  ASSERT_EQ(std::dynamic_pointer_cast<IP2PDownloadRecords>(list)->GetRecordsByKey(
                {static_cast<uint32_t>(key)}, &ended),
            S_OK);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].phase, static_cast<uint32_t>(EDownloadPhase::kRemoved));
  EXPECT_EQ(ended[0].completedSize, 0u);
  EXPECT_EQ(ended[0].name, "clip.avi");
  std::shared_ptr<IP2PDownloadFile> gone;
  EXPECT_EQ(list->get_ItemByKey(key, &gone), E_FAIL);
}

}  // namespace
}  // namespace tarn::test
