#include "engine/servers/ServerInfoFile.h"

#include <gtest/gtest.h>

#include "engine/servers/ServerManager.h"
#include "tests/support/Sandbox.h"

namespace P2P::Remote::Server {
namespace {

_tagStructServerInfo Sample() {
  _tagStructServerInfo entry;
  entry.address = 0x04030201;  // 1.2.3.4
  entry.port = 4661;
  for (size_t i = 0; i < entry.hash.bytes.size(); ++i)
    entry.hash.bytes[i] = static_cast<uint8_t>(0xA0 + i);
  entry.hostName = "1.2.3.4";
  entry.name = "Big & Co";
  entry.description = "d\xC3\xA9j\xC3\xA0";
  entry.tcpFlags = 0x0539;
  entry.status = {7, 1000, 4000000000u, 5000, 300, 400, 0x3F, 12};
  entry.ping = 25;
  entry.lastCheckedTime = 123456;
  entry.failedCount = 3;
  return entry;
}

constexpr const char* kExpected =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
    "<ServerInfoList>\n"
    "\t<ServerInfo>\n"
    "\t\t<IP>67305985</IP>\n"
    "\t\t<Port>4661</Port>\n"
    "\t\t<Hash>A0A1A2A3A4A5A6A7A8A9AAABACADAEAF</Hash>\n"
    "\t\t<HostName>1.2.3.4</HostName>\n"
    "\t\t<Name>Big &amp; Co</Name>\n"
    "\t\t<Description>d\xC3\xA9j\xC3\xA0</Description>\n"
    "\t\t<Ping>25</Ping>\n"
    "\t\t<LastCheckedTime>123456</LastCheckedTime>\n"
    "\t\t<FailedCount>3</FailedCount>\n"
    "\t\t<TCPFlag>1337</TCPFlag>\n"
    "\t\t<UDPFlag>63</UDPFlag>\n"
    "\t\t<Files>4000000000</Files>\n"
    "\t\t<Users>1000</Users>\n"
    "\t\t<MaxUsers>5000</MaxUsers>\n"
    "\t\t<SoftFiles>300</SoftFiles>\n"
    "\t\t<HardFiles>400</HardFiles>\n"
    "\t\t<LowIdUsers>12</LowIdUsers>\n"
    "\t</ServerInfo>\n"
    "</ServerInfoList>";

TEST(ServerInfoFileTest, WritesTheFileLayoutByteForByte) {
  tarn::test::Sandbox sandbox;
  CTARNNetServerManager manager;
  manager.Add(Sample());
  _tagStructServerInfo unreliable = Sample();
  unreliable.address = 0x05030201;
  unreliable.failedCount = 11;  // left out of the file
  manager.Add(unreliable);
  ASSERT_TRUE(manager.Save(sandbox / "config"));
  EXPECT_EQ(sandbox.ReadFile("config/ServerInfo.dat"), kExpected);
}

TEST(ServerInfoFileTest, ReadsBackWhatItWrote) {
  OSTREL::File::CXmlDocument document;
  ASSERT_TRUE(document.LoadText(kExpected));
  const auto entries = ReadServerInfoDocument(document);
  ASSERT_EQ(entries.size(), 1u);
  const _tagStructServerInfo expected = Sample();
  const _tagStructServerInfo& read = entries[0];
  EXPECT_EQ(read.address, expected.address);
  EXPECT_EQ(read.port, expected.port);
  EXPECT_EQ(read.hash, expected.hash);
  EXPECT_EQ(read.name, expected.name);
  EXPECT_EQ(read.description, expected.description);
  EXPECT_EQ(read.tcpFlags, expected.tcpFlags);
  EXPECT_EQ(read.status.files, expected.status.files);
  EXPECT_EQ(read.status.udpFlags, expected.status.udpFlags);
  EXPECT_EQ(read.status.lowIdUsers, expected.status.lowIdUsers);
  EXPECT_EQ(read.status.challenge, 0u);  // not stored
  EXPECT_EQ(read.lastCheckedTime, expected.lastCheckedTime);
  EXPECT_EQ(read.failedCount, expected.failedCount);
}

TEST(ServerInfoFileTest, AttributesAndElementsInAnyCaseLoadAlike) {
  const char* forms[] = {
      "<ServerInfoList><ServerInfo IP=\"67305985\" Port=\"4661\" Name=\"n\" Files=\"9\"/>"
      "</ServerInfoList>",
      "<serverinfolist><SERVERINFO><ip>67305985</ip><PORT> 4661 </PORT><name>n</name>"
      "<Files>9</Files><Unknown>x</Unknown></SERVERINFO></serverinfolist>",
  };
  for (const char* form : forms) {
    OSTREL::File::CXmlDocument document;
    ASSERT_TRUE(document.LoadText(form));
    const auto entries = ReadServerInfoDocument(document);
    ASSERT_EQ(entries.size(), 1u) << form;
    EXPECT_EQ(entries[0].address, 67305985u);
    EXPECT_EQ(entries[0].port, 4661);
    EXPECT_EQ(entries[0].name, "n");
    EXPECT_EQ(entries[0].status.files, 9u);
  }
}

TEST(ServerInfoFileTest, BadValuesAreIgnoredFieldByField) {
  OSTREL::File::CXmlDocument document;
  ASSERT_TRUE(document.LoadText(
      "<ServerInfoList><ServerInfo Name='kept'><IP>1</IP><Port>70000</Port><Hash>12</Hash>"
      "<Users>-4</Users><Name></Name></ServerInfo><Other/></ServerInfoList>"));
  const auto entries = ReadServerInfoDocument(document);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].address, 1u);
  EXPECT_EQ(entries[0].port, 0);
  EXPECT_TRUE(entries[0].hash.IsZero());
  EXPECT_EQ(entries[0].status.users, 0u);
  EXPECT_EQ(entries[0].name, "kept");  // empty text does not clear a value
}

}  // namespace
}  // namespace P2P::Remote::Server
