// The link handler against the daemon: a file link starts its download once, a server link
// adds its server, and every refusal is said in one notification.
#include <gtest/gtest.h>

#include "engine/download/DownloadFileManager.h"
#include "engine/servers/ServerManager.h"
#include "shell/ProtocolHandler.h"
#include "tests/service_bus/ApiBusFixture.h"
#include "tests/shell/RecordingNotifier.h"

namespace tarn::test {
namespace {

TEST_F(ApiBusTest, LinksStartDownloadsAddServersAndSayWhyNot) {
  CRecordingNotifier notifier;
  std::ostringstream err;
  shell::CProtocolHandler handler(client_.get(), &notifier, err);
  const std::string hash = "00112233445566778899AABBCCDDEEFF";

  EXPECT_EQ(handler.Handle("ed2k://|file|caf%C3%A9.bin|100|" + hash + "|/"), shell::kExitOk);
  const auto file =
      module_->GetDownloadFileManager().List().FindByHash(*P2P::_tagUnionHash::FromHex(hash));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->GetName(), "caf\xC3\xA9.bin");
  EXPECT_EQ(file->GetSize(), 100u);
  EXPECT_TRUE(notifier.shown.empty());

  EXPECT_EQ(handler.Handle("tarn://|other.bin|" + hash + "|100|"), shell::kExitRefused);
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.Line(0),
            "TARN did not start the download: other.bin: already downloading or shared");

  EXPECT_EQ(handler.Handle("ed2k://|server|127.0.0.5|4661|/"), shell::kExitOk);
  EXPECT_EQ(handler.Handle("ed2k://|server|127.0.0.5|4661|/"), shell::kExitOk);
  EXPECT_EQ(handler.Handle("ed2k://|server|host.example|4661|/"), shell::kExitRefused);
  EXPECT_EQ(handler.Handle("ed2k://|serverlist|http://127.0.0.1/server.met|/"),
            shell::kExitRefused);
  EXPECT_EQ(handler.Handle("p2p://|a|" + hash + "|0|"), shell::kExitBadInput);
  ASSERT_EQ(notifier.shown.size(), 4u);
  EXPECT_NE(notifier.Line(1).find("dotted IPv4"), std::string::npos) << notifier.Line(1);
  EXPECT_NE(notifier.Line(2).find("server-list links are not supported"), std::string::npos);
  EXPECT_EQ(notifier.Line(3),
            "TARN cannot read this link: size: 0: an empty file cannot be "
            "downloaded");
  EXPECT_NE(err.str().find("tarnshell: TARN cannot read this link: size: 0"), std::string::npos);
}

}  // namespace
}  // namespace tarn::test
