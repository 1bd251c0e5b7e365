// A search from the engine root against three test index servers on loopback: the connected
// one over TCP, in batches fetched with query-more, and the two others over UDP in the form
// their flags ask for; their answers, the engine's own offered file among them, become
// results.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "tests/engine/search/SearchEventRecorder.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TestIndexServer.h"

namespace P2P {
namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;
using Remote::Server::LoadField;
using tarn::test::IndexedFile;
using tarn::test::TestIndexServer;
using tarn::test::WaitUntil;

IndexedFile Seed(uint8_t hashByte, std::string name, uint32_t sources = 1) {
  IndexedFile file;
  file.hash.fill(hashByte);
  file.name = std::move(name);
  file.size = 1000u * hashByte;
  file.sources = sources;
  file.clientId = 0x0500007F;
  file.port = 4662;
  return file;
}

class SearchNetworkTest : public tarn::test::EngineFixture {};

TEST_F(SearchNetworkTest, SearchReachesEveryServerAndTheAnswersBecomeResults) {
  sandbox_.WriteFile("data/Ostrel/TARN/Shared/live at home.mp3", std::string(5000, 'x'));

  TestIndexServer primary, newer, older;
  newer.Update([](auto& s) {
    s.address = "127.0.0.3";
    s.udpFlags = 0x02;
    s.answersPerDatagram = 2;
  });
  older.Update([](auto& s) { s.address = "127.0.0.4"; });
  ASSERT_TRUE(newer.Start());
  ASSERT_TRUE(older.Start());
  primary.Update([&](auto& s) {
    s.address = "127.0.0.2";
    s.udpFlags = 0x02;
    s.resultsPerAnswer = 2;
    s.serverList = {{newer.Address(), newer.Port()}, {older.Address(), older.Port()}};
  });
  ASSERT_TRUE(primary.Start());
  for (uint8_t i = 1; i <= 4; ++i) primary.AddFile(Seed(0x10 + i, "live " + std::to_string(i), 3));
  primary.AddFile(Seed(0x15, "other.txt"));
  newer.AddFile(Seed(0x11, "live 1 again", 4));  // merges with the primary's answer
  newer.AddFile(Seed(0x21, "live two.ogg"));
  newer.AddFile(Seed(0x22, "Live three.ogg"));  // the word test is case-sensitive
  newer.AddFile(Seed(0x23, "live four.ogg"));
  older.AddFile(Seed(0x31, "live old.avi"));
  UseServer(primary);  // 127.0.0.2
  HashWithoutPause();
  // Off the default peer ports, which the other engine tests expect to find free.
  Store(ConnectionsKey(), "TCP Port", CRegValue::Dword(primary.Port() + 1u));
  Store(ConnectionsKey(), "UDP Port", CRegValue::Dword(primary.Port() + 2u));
  ASSERT_FALSE(HasFailure());

  // The fixture stops the engine however the test ends, so a failed wait leaves none behind.
  CTARNNetClientModule* module = StartEngine();
  ASSERT_NE(module, nullptr);
  CTARNNetServerManager& servers = module->GetServerManager();
  // Logged in, the shared file offered and indexed, the other servers learnt and checked.
  ASSERT_TRUE(WaitForLogin());
  ASSERT_TRUE(WaitUntil([&] { return primary.IndexedFileCount() == 6; }, std::chrono::seconds(10)))
      << [&] {
           std::string seen;
           for (const auto& p : primary.Received())
             seen += std::to_string(p.udp) + ":" + std::to_string(p.protocol) + ":" +
                     std::to_string(p.opcode) + ":" + std::to_string(p.payload.size()) + " ";
           return seen;
         }();
  ASSERT_TRUE(WaitUntil([&] {
    const auto* second = servers.FindByAddress(newer.Address());
    const auto* third = servers.FindByAddress(older.Address());
    return second && third && LoadField(second->status.udpFlags) == 0x02 &&
           LoadField(third->status.users) == 7;
  }));

  P2P::test::CSearchEventRecorder events;
  CTARNNetSearchManager& search = module->GetSearchManager();
  search.Advise(&events);
  CTARNNetSearchManager::Params params;
  params.expression = "live";
  ASSERT_TRUE(search.Search(params));

  // Primary: 4 seeded and our own file, 2 + 2 + 1 over TCP; newer: 0x11 merged, two new, one
  // dropped; older: one.
  CTARNNetSearchManager::ResultList& results = search.GetResultList();
  const bool allArrived = WaitUntil([&] { return results.Count() == 8; });
  ASSERT_TRUE(primary.WaitForPackets(0x21, false, 2));
  EXPECT_TRUE(allArrived) << results.Count();
  EXPECT_TRUE(newer.WaitForPackets(0x92, true));
  EXPECT_TRUE(older.WaitForPackets(0x98, true));
  EXPECT_TRUE(WaitUntil([&] { return events.Notified() == 1; }));
  EXPECT_EQ(primary.CountReceived(0x16, false), 1u);
  EXPECT_EQ(primary.CountReceived(0x98, true) + primary.CountReceived(0x92, true), 0u);
  EXPECT_EQ(newer.CountReceived(0x98, true), 0u);
  EXPECT_EQ(older.CountReceived(0x92, true), 0u);

  std::map<std::string, Shared::_tagStructSharedFile> byName;
  for (const auto& result : results.Snapshot()) byName[result->GetName()] = result->GetRecord();
  _tagUnionHash mergedHash;
  mergedHash.bytes.fill(0x11);
  const auto merged = results.FindByHash(mergedHash);
  ASSERT_TRUE(merged);
  const Shared::_tagStructSharedFile mergedRecord = merged->GetRecord();
  StopEngine();

  EXPECT_EQ(byName.count("Live three.ogg"), 0u);
  EXPECT_EQ(byName.count("live at home.mp3"), 1u);
  // Whichever answer came first names the result; the other is its other name.
  EXPECT_EQ(std::set<std::string>({mergedRecord.info.name, mergedRecord.info.otherName}),
            std::set<std::string>({"live 1", "live 1 again"}));
  EXPECT_EQ(mergedRecord.info.sourceCount, 7u);
  EXPECT_EQ(mergedRecord.clientId, 0x0500007Fu);
  EXPECT_EQ(mergedRecord.info.size, 0x11u * 1000);
  EXPECT_EQ(byName.count("live old.avi"), 1u);
  EXPECT_EQ(events.Added().size(), 8u);
  EXPECT_EQ(events.Changed().size(), 1u);
  EXPECT_EQ(events.Started(), 1);
}

}  // namespace
}  // namespace P2P
