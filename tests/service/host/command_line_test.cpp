#include <gtest/gtest.h>

#include "service/host/CommandLine.h"

namespace {

using OSTREL::Process::JoinArguments;
using OSTREL::Process::ParseServiceSwitch;
using OSTREL::Process::ServiceSwitch;

struct SwitchCase {
  const char* name;
  const char* line;
  ServiceSwitch expected;
  friend void PrintTo(const SwitchCase& c, std::ostream* out) { *out << '"' << c.line << '"'; }
};

class ServiceSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(ServiceSwitchTest, FindsTheSwitchAtTheEndOfTheLine) {
  EXPECT_EQ(ParseServiceSwitch(GetParam().line), GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ServiceSwitchTest,
    ::testing::Values(
        SwitchCase{"Empty", "", ServiceSwitch::kLaunch},
        SwitchCase{"DashRegServer", "-RegServer", ServiceSwitch::kRegServer},
        SwitchCase{"SlashLowerCase", "/regserver", ServiceSwitch::kRegServer},
        SwitchCase{"MixedCaseService", "-sErViCe", ServiceSwitch::kService},
        SwitchCase{"Unregister", "/UnregServer", ServiceSwitch::kUnregServer},
        SwitchCase{"AfterOtherWords", "-Embedding -Service", ServiceSwitch::kService},
        SwitchCase{"DoubleDash", "--RegServer", ServiceSwitch::kRegServer},
        SwitchCase{"NotLast", "-RegServer now", ServiceSwitch::kLaunch},
        SwitchCase{"Embedding", "-Embedding", ServiceSwitch::kLaunch},
        SwitchCase{"Prefix", "-Serv", ServiceSwitch::kLaunch},
        SwitchCase{"NoSwitchCharacter", "RegServer", ServiceSwitch::kLaunch}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JoinArgumentsTest, JoinsWithBlanksAndSkipsTheProgram) {
  const char* argv[] = {"tarnsvc", "-x", "/Service"};
  EXPECT_EQ(JoinArguments(3, argv), "-x /Service");
  EXPECT_EQ(JoinArguments(1, argv), "");
  EXPECT_EQ(ParseServiceSwitch(JoinArguments(3, argv)), ServiceSwitch::kService);
}

}  // namespace
