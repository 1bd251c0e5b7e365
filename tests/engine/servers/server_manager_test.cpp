#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "engine/servers/ServerManager.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/Sandbox.h"

namespace P2P {
namespace {

using Remote::Server::_tagStructServerInfo;

struct EventLog : ITARNNetP2PServerEventHandler {
  std::vector<std::pair<char, uint32_t>> events;  // ('a'dded / 'c'hanged, address)
  void OnServerAdded(const _tagStructServerInfo& s) override { events.push_back({'a', s.address}); }
  void OnServerChanged(const _tagStructServerInfo& s) override {
    events.push_back({'c', s.address});
  }
  void OnServerRemoved(const _tagStructServerInfo&) override { FAIL(); }
};

std::string Entry(uint32_t ip, uint32_t files, uint32_t users, uint32_t failed = 0) {
  return "<ServerInfo><IP>" + std::to_string(ip) + "</IP><Files>" + std::to_string(files) +
         "</Files><Users>" + std::to_string(users) + "</Users><FailedCount>" +
         std::to_string(failed) + "</FailedCount></ServerInfo>";
}

std::string File(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ServerInfoList>" + entries +
         "</ServerInfoList>";
}

std::vector<uint32_t> Addresses(const CTARNNetServerManager& manager) {
  std::vector<uint32_t> addresses;
  for (size_t i = 1; i <= manager.Count(); ++i) addresses.push_back(manager.At(i)->address);
  return addresses;
}

TEST(ServerManagerTest, LoadDropsUnreliableServersAndSortsByFilesThenUsers) {
  tarn::test::Sandbox sandbox;
  sandbox.WriteFile("config/ServerInfo.dat",
                    File(Entry(1, 10, 5, 10) + Entry(2, 10, 9, 11) + Entry(3, 10, 9) +
                         Entry(4, 50, 1) + Entry(5, 10, 5) + Entry(3, 99, 99)));
  CTARNNetServerManager manager;
  EventLog log;
  manager.Advise(&log);
  ASSERT_TRUE(manager.Start(sandbox / "config"));
  // 2 failed too often; the second 3 is a duplicate; 1 and 5 tie and keep file order.
  EXPECT_EQ(Addresses(manager), (std::vector<uint32_t>{4, 3, 1, 5}));
  EXPECT_EQ(manager.FindByAddress(1)->failedCount, 0u);
  EXPECT_EQ(log.events.size(), 4u);
  const uint32_t firstId = manager.FindByAddress(1)->id;
  EXPECT_EQ(manager.FindByAddress(3)->id, firstId + 1);
  EXPECT_EQ(manager.FindById(firstId + 1)->address, 3u);
}

TEST(ServerManagerTest, UnreadableFilesLeaveTheListEmpty) {
  tarn::test::Sandbox sandbox;
  const std::string whole = File(Entry(1, 1, 1));
  for (const std::string& text :
       {whole.substr(0, whole.size() - 5), std::string("garbage"), std::string(),
        std::string("<Other>") + Entry(1, 1, 1) + "</Other>"}) {
    sandbox.WriteFile("config/ServerInfo.dat", text);
    CTARNNetServerManager manager;
    EXPECT_FALSE(manager.Load(sandbox / "config")) << text;
    EXPECT_EQ(manager.Count(), 0u) << text;
  }
  CTARNNetServerManager manager;
  EXPECT_FALSE(manager.Load(sandbox / "nowhere"));
}

TEST(ServerManagerTest, SelectionWalksToFewerFiles) {
  CTARNNetServerManager manager;
  ASSERT_TRUE(manager.LoadText(File(Entry(1, 300, 1) + Entry(2, 200, 1) + Entry(3, 100, 1))));
  EXPECT_EQ(manager.GetNextServer()->address, 1u);  // no current server
  manager.SetCurrentServer(manager.FindByAddress(1));
  EXPECT_EQ(manager.GetNextServer()->address, 2u);
  manager.SetCurrentServer(manager.FindByAddress(3));
  EXPECT_EQ(manager.GetNextServer(), nullptr);
  EXPECT_EQ(manager.GetNextOrFirstServer()->address, 1u);
}

TEST(ServerManagerTest, FirstServerOfAnEmptyListIsTheDefaultServer) {
  CTARNNetServerManager manager;
  std::vector<std::pair<uint32_t, uint16_t>> requests;
  bool listedWhenAsked = false;
  EXPECT_EQ(manager.GetFirstServer(), nullptr);  // nothing configured
  manager.SetServerListRequest([&](uint32_t a, uint16_t p) {
    requests.push_back({a, p});
    // The answer may come back at once; it is taken only from a listed server.
    listedWhenAsked = manager.Contains(a);
  });
  manager.SetDefaultServer(0x0100007F, 4242);
  _tagStructServerInfo* first = manager.GetFirstServer();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->address, 0x0100007Fu);
  EXPECT_EQ(first->port, 4242);
  EXPECT_EQ(requests, (std::vector<std::pair<uint32_t, uint16_t>>{{0x0100007F, 4242}}));
  EXPECT_TRUE(listedWhenAsked);
  EXPECT_EQ(manager.GetFirstServer(), first);  // only an empty list asks
  EXPECT_EQ(requests.size(), 1u);
  EXPECT_EQ(manager.Count(), 1u);
}

TEST(ServerManagerTest, MergeAddsUsableNewServersThenSavesAndWakes) {
  tarn::test::Sandbox sandbox;
  CTARNNetServerManager manager;
  ASSERT_FALSE(manager.Start(sandbox / "config"));  // no file yet
  manager.AddAddress(0x01010101, 4661);
  int wakes = 0;
  manager.SetCheckerWake([&] { ++wakes; });
  EventLog log;
  manager.Advise(&log);
  const auto file = sandbox / "config/ServerInfo.dat";

  const SServerAddress nothingNew[] = {
      {0x01010101, 4661}, {0, 1}, {0x0100007F, 1}, {0x010101E0, 1}, {0x010101FF, 1}};
  EXPECT_EQ(manager.MergeServerList(nothingNew), 0u);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(wakes, 0);
  EXPECT_TRUE(log.events.empty());

  const SServerAddress fresh[] = {{0x02020202, 4661}, {0x02020202, 9}, {0x030303DF, 4242}};
  EXPECT_EQ(manager.MergeServerList(fresh), 2u);
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(log.events.size(), 2u);
  CTARNNetServerManager reloaded;
  ASSERT_TRUE(reloaded.Load(sandbox / "config"));
  EXPECT_EQ(reloaded.Count(), 3u);
}

TEST(ServerManagerTest, IdentificationAndStatusRaiseChanges) {
  CTARNNetServerManager manager;
  EventLog log;
  manager.AddAddress(0x04030201, 4661);
  manager.Advise(&log);
  _tagUnionHash hash;
  hash.bytes[0] = 1;
  EXPECT_FALSE(manager.ApplyIdentification(9, hash, {}, {}, {}));
  ASSERT_TRUE(manager.ApplyIdentification(0x04030201, hash, std::nullopt, "Name", std::nullopt));
  _tagStructServerInfo* server = manager.FindByAddress(0x04030201);
  EXPECT_EQ(server->hostName, "1.2.3.4");
  EXPECT_EQ(server->name, "Name");
  EXPECT_EQ(server->hash, hash);
  EXPECT_FALSE(manager.ApplyTcpStatus(1, 2));  // not connected
  manager.SetCurrentServer(server);
  ASSERT_TRUE(manager.ApplyTcpStatus(10, 20));
  EXPECT_EQ(server->status.files, 20u);
  EXPECT_EQ(log.events,
            (std::vector<std::pair<char, uint32_t>>{{'c', 0x04030201}, {'c', 0x04030201}}));
}

TEST(ServerManagerTest, StopSavesTheSortedList) {
  tarn::test::Sandbox sandbox;
  CTARNNetServerManager manager;
  manager.Start(sandbox / "config");
  manager.AddAddress(0x01010101, 1);
  manager.AddAddress(0x02020202, 2)->status.files = 5;
  ASSERT_TRUE(manager.Stop());
  CTARNNetServerManager reloaded;
  ASSERT_TRUE(reloaded.Load(sandbox / "config"));
  EXPECT_EQ(Addresses(reloaded), (std::vector<uint32_t>{0x02020202, 0x01010101}));
}

// A save that fails part way (the disk fills up, or the write is torn) reports it and leaves
// the previous ServerInfo.dat whole, with no temporary file beside it.
TEST(ServerManagerTest, FailedSaveKeepsThePreviousFile) {
  tarn::test::Sandbox sandbox;
  CTARNNetServerManager manager;
  manager.Start(sandbox / "config");
  manager.AddAddress(0x01010101, 1);
  ASSERT_TRUE(manager.Stop());
  const std::string saved = sandbox.ReadFile("config/ServerInfo.dat");
  for (int tear = 0; tear < 2; ++tear) {
    manager.AddAddress(0x02020202 + tear, 2);
    tarn::test::FaultyFileSystem faulty;
    tarn::test::ScopedFileSystem installed(faulty);
    if (tear == 1)
      faulty.TearNextWrite(20);
    else
      faulty.DiskFullAfter(20);
    EXPECT_FALSE(manager.Stop());
    EXPECT_EQ(faulty.InjectedFailures(), 1);
    EXPECT_EQ(sandbox.ReadFile("config/ServerInfo.dat"), saved);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox / "config"),
                            std::filesystem::directory_iterator()),
              1);
  }
}

}  // namespace
}  // namespace P2P
