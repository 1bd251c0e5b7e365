#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "engine/core/TARNNetClientModule.h"
#include "tests/support/EngineFixture.h"

namespace P2P {
namespace {

class ClientModuleCreditsTest : public tarn::test::EngineFixture {};

// The engine root reads Credits.dat after the configuration (so the signing state comes from
// the key just loaded) and writes it back at stop.
TEST_F(ClientModuleCreditsTest, LoadsCreditsAtStartAndSavesThemAtStop) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ClientCredits>\n\t<ClientCredit>\n\t\t"
      "<Hash>00112233445566778899AABBCCDDEEFF</Hash>\n\t\t<LoUpload>1</LoUpload>\n\t\t"
      "<HiUpload>0</HiUpload>\n\t\t<LoDownload>2</LoDownload>\n\t\t<HiDownload>0</HiDownload>"
      "\n\t\t<LastSeen>" +
      std::to_string(std::time(nullptr)) +
      "</LastSeen>\n\t\t<PublicKey>0102</PublicKey>\n\t</ClientCredit>\n</ClientCredits>";
  const auto file = std::filesystem::path("data/Ostrel/TARN/Config/Credits.dat");
  sandbox_.WriteFile(file, text);

  CTARNNetClientModule* module = StartEngine();
  ASSERT_NE(module, nullptr);
  Credit::CTARNNetClientCreditList& credits = module->GetClientCreditList();
  EXPECT_TRUE(credits.HasSigningState());
  EXPECT_EQ(credits.Count(), 1u);
  credits.FindOrCreate(_tagUnionHash{});  // keyless: not written
  sandbox_.WriteFile(file, "");
  StopEngine();
  EXPECT_EQ(sandbox_.ReadFile(file), text);
}

}  // namespace
}  // namespace P2P
