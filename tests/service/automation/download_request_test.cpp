#include <gtest/gtest.h>

#include "engine/protocol/Limits.h"
#include "service/automation/DownloadRequest.h"

namespace {

using namespace OSTREL::COM;

struct RequestCase {
  const char* name;
  const char* hash;  // null: no hash
  int32_t size;
  OptionalText folder;
  OptionalText fileName;
  HRESULT expected;
  friend void PrintTo(const RequestCase& c, std::ostream* out) { *out << c.name; }
};

class DownloadRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(DownloadRequestTest, AcceptsOnlyWellFormedRequests) {
  const auto& c = GetParam();
  const std::string hash = c.hash != nullptr ? c.hash : "";
  P2P::Shared::_tagStructSharedFile record;
  EXPECT_EQ(BuildDownloadRecord(c.hash != nullptr ? &hash : nullptr, c.size, c.folder, c.fileName,
                                record),
            c.expected);
}

constexpr const char* kHash = "00112233445566778899aabbccddeeff";

INSTANTIATE_TEST_SUITE_P(
    Requests, DownloadRequestTest,
    ::testing::Values(
        RequestCase{"Plain", kHash, 100, std::nullopt, std::nullopt, S_OK},
        RequestCase{"NoHash", nullptr, 100, std::nullopt, std::nullopt, E_INVALIDARG},
        RequestCase{"ZeroSize", kHash, 0, std::nullopt, std::nullopt, E_INVALIDARG},
        RequestCase{"LargestFile", kHash, static_cast<int32_t>(4290048000u), std::nullopt,
                    std::nullopt, S_OK},
        RequestCase{"AboveLargestFile", kHash, static_cast<int32_t>(4290048001u), std::nullopt,
                    std::nullopt, E_INVALIDARG},
        RequestCase{"NonHexDigit", "00112233445566778899aabbccddeefg", 100, std::nullopt,
                    std::nullopt, E_INVALIDARG},
        RequestCase{"ShortHash", "0011", 100, std::nullopt, std::nullopt, E_INVALIDARG},
        RequestCase{"LongHash", "00112233445566778899aabbccddeeff00", 100, std::nullopt,
                    std::nullopt, E_INVALIDARG},
        RequestCase{"EmptyName", kHash, 100, std::nullopt, std::string(""), E_INVALIDARG},
        RequestCase{"NameWithFolder", kHash, 100, std::string("/srv/in"),
                    std::string("a/b.txt"), S_OK}),
    [](const auto& info) { return std::string(info.param.name); });

// The 64-bit request takes every size the network exchanges, whole.
TEST(DownloadRecordTest, LargeRequestsKeepTheWholeSizeUpTo256GiB) {
  const std::string hash = kHash;
  P2P::Shared::_tagStructSharedFile record;
  for (const uint64_t size : {uint64_t{4290048001u}, uint64_t{1} << 32, (uint64_t{1} << 32) + 1,
                              P2P::Protocol::kMaxFileSize}) {
    ASSERT_EQ(BuildLargeDownloadRecord(&hash, size, std::nullopt, std::nullopt, record), S_OK);
    EXPECT_EQ(record.info.size, size);
  }
  EXPECT_EQ(BuildLargeDownloadRecord(&hash, P2P::Protocol::kMaxFileSize + 1, std::nullopt,
                                     std::nullopt, record),
            E_INVALIDARG);
  EXPECT_EQ(BuildLargeDownloadRecord(&hash, 0, std::nullopt, std::nullopt, record), E_INVALIDARG);
}

TEST(DownloadRecordTest, DecodesTheHashAndCleansTheName) {
  const std::string hash = kHash;
  P2P::Shared::_tagStructSharedFile record;
  ASSERT_EQ(BuildDownloadRecord(&hash, 100, std::string("/srv/in"), std::string("a/b.txt"), record),
            S_OK);
  EXPECT_EQ(record.hash.ToHex(), "00112233445566778899AABBCCDDEEFF");
  EXPECT_EQ(record.info.size, 100u);
  EXPECT_EQ(record.info.targetFolder, "/srv/in");
  EXPECT_EQ(record.info.name.find('/'), std::string::npos) << record.info.name;

  ASSERT_EQ(BuildDownloadRecord(&hash, 5, std::nullopt, std::nullopt, record), S_OK);
  EXPECT_EQ(record.info.name, "New File");
  EXPECT_EQ(record.info.targetFolder, "");
}

}  // namespace
