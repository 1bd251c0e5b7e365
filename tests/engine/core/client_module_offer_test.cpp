#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "tests/engine/hashing/HashReference.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/TestSearchIndex.h"

namespace P2P {
namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;
using tarn::test::TestIndexServer;

// What a server reads from one offer record: hash, name and size. Read here with a decoder of
// its own, so the test does not trust the engine's offer writer.
struct OfferedFile {
  std::array<uint8_t, 16> hash{};
  std::string name;
  uint32_t size = 0;
};

class OfferReader {
 public:
  explicit OfferReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool ReadList(std::vector<OfferedFile>& files) {
    uint32_t count;
    if (!Read(count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      OfferedFile file;
      uint32_t id, tagCount;
      uint16_t port;
      if (!Take(file.hash.data(), 16) || !Read(id) || !Read(port) || !Read(tagCount)) return false;
      for (uint32_t t = 0; t < tagCount; ++t)
        if (!ReadTag(file)) return false;
      files.push_back(file);
    }
    return at_ == bytes_.size();
  }

 private:
  bool ReadTag(OfferedFile& file) {
    uint8_t type;
    if (!Read(type)) return false;
    int id = -1;
    if (type & 0x80) {
      uint8_t nameId;
      if (!Read(nameId)) return false;
      id = nameId;
      type &= 0x7F;
    } else {
      uint16_t nameLength;
      if (!Read(nameLength)) return false;
      if (nameLength == 1) {
        uint8_t nameId;
        if (!Read(nameId)) return false;
        id = nameId;
      } else if (!Skip(nameLength)) {
        return false;
      }
    }
    std::string text;
    uint32_t number = 0;
    if (type == 2) {
      uint16_t length;
      if (!Read(length) || !TakeText(text, length)) return false;
    } else if (type >= 0x11 && type <= 0x26) {
      if (!TakeText(text, type - 0x10)) return false;
    } else if (type == 3) {
      if (!Read(number)) return false;
    } else if (type == 8) {
      uint16_t value;
      if (!Read(value)) return false;
      number = value;
    } else if (type == 9) {
      uint8_t value;
      if (!Read(value)) return false;
      number = value;
    } else if (type == 4) {
      if (!Skip(4)) return false;
    } else {
      return false;
    }
    if (id == 0x01) file.name = text;
    if (id == 0x02) file.size = number;
    return true;
  }
  template <typename T>
  bool Read(T& value) {
    value = 0;
    if (bytes_.size() - at_ < sizeof(T)) return false;
    for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T(bytes_[at_ + i]) << (8 * i));
    at_ += sizeof(T);
    return true;
  }
  bool Take(uint8_t* out, size_t count) {
    if (bytes_.size() - at_ < count) return false;
    std::memcpy(out, bytes_.data() + at_, count);
    at_ += count;
    return true;
  }
  bool TakeText(std::string& text, size_t count) {
    if (bytes_.size() - at_ < count) return false;
    text.assign(reinterpret_cast<const char*>(bytes_.data() + at_), count);
    at_ += count;
    return true;
  }
  bool Skip(size_t count) {
    if (bytes_.size() - at_ < count) return false;
    at_ += count;
    return true;
  }

  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
};

// The daemon's engine hashes the files of its shared folder (a subfolder included) and offers
// them to the server it is logged in to, with the right hashes, names and sizes.
class ClientModuleOfferTest : public tarn::test::EngineFixture {};

TEST_F(ClientModuleOfferTest, OffersTheHashedSharedFilesToTheServer) {
  const std::string small(1000, 'a');
  std::string larger(200000, '\0');
  for (size_t i = 0; i < larger.size(); ++i) larger[i] = static_cast<char>(i * 7 + i / 251);
  sandbox_.WriteFile("data/Ostrel/TARN/Shared/small.txt", small);
  sandbox_.WriteFile("data/Ostrel/TARN/Shared/music/song one.mp3", larger);

  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  UseServer(server);
  HashWithoutPause();
  ASSERT_FALSE(HasFailure());

  ASSERT_NE(StartEngine(), nullptr);
  std::vector<OfferedFile> offered;
  const bool bothOffered = WaitForPacket(
      server, 0x15, false,
      [&](std::span<const uint8_t> payload) {
        std::vector<OfferedFile> files;
        const std::vector<uint8_t> bytes(payload.begin(), payload.end());
        if (!OfferReader(bytes).ReadList(files) || files.size() != 2) return false;
        offered = files;
        return true;
      },
      std::chrono::seconds(10));
  StopEngine();
  ASSERT_TRUE(bothOffered);

  std::map<std::string, OfferedFile> byName;
  for (const auto& file : offered) byName[file.name] = file;
  ASSERT_EQ(byName.count("small.txt"), 1u);
  ASSERT_EQ(byName.count("song one.mp3"), 1u);
  EXPECT_EQ(byName["small.txt"].size, small.size());
  EXPECT_EQ(byName["song one.mp3"].size, larger.size());
  const auto* smallBytes = reinterpret_cast<const uint8_t*>(small.data());
  const auto* largerBytes = reinterpret_cast<const uint8_t*>(larger.data());
  EXPECT_EQ(byName["small.txt"].hash, tarn::test::RefMD4(smallBytes, small.size()));
  EXPECT_EQ(byName["song one.mp3"].hash, tarn::test::RefMD4(largerBytes, larger.size()));
}

// A download of 5 GiB is offered and asked for sources only at a server that takes large files
// (flag 0x100), in the 64-bit forms; a server without the flag gets the small download alone.
class ClientModuleLargeOfferTest : public tarn::test::EngineFixture {
 protected:
  void OfferAndAskAt(uint32_t serverFlags) {
    Shared::_tagStructSharedFile large, small;
    large.hash.bytes.fill(0x51);
    large.info.name = "disc.iso";
    large.info.size = uint64_t{5} << 30;
    small.hash.bytes.fill(0x52);
    small.info.name = "small.bin";
    small.info.size = 1000;
    const std::vector<uint8_t> smallHash(small.hash.bytes.begin(), small.hash.bytes.end());
    // Hash, a 32-bit zero, then 5 GiB as a 64-bit value.
    std::vector<uint8_t> largeEntry(large.hash.bytes.begin(), large.hash.bytes.end());
    for (uint8_t byte : {0, 0, 0, 0, 0, 0, 0, 0x40, 0x01, 0, 0, 0}) largeEntry.push_back(byte);

    TestIndexServer::Settings settings;
    settings.tcpFlags = serverFlags;
    TestIndexServer server(settings);
    ASSERT_TRUE(server.Start());
    UseServer(server);
    CTARNNetClientModule* module = StartEngine();
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(WaitForLogin());
    // The large download's source request goes out first, the small one's after it.
    ASSERT_TRUE(module->GetDownloadFileManager().AddDownload(large));
    ASSERT_TRUE(module->GetDownloadFileManager().AddDownload(small));
    const bool asked = WaitForPacket(
        server, 0x19, false, [&](auto payload) { return tarn::test::Holds(payload, smallHash); });
    module->GetConnectionManager().GetServerTCPConnecter().SendOfferFiles();
    std::vector<tarn::test::IndexedFile> offered;
    const bool offer = WaitForPacket(server, 0x15, false, [&](auto payload) {
      auto files = tarn::test::ReadOfferedFiles(payload);
      if (!files || files->empty()) return false;
      offered = *files;
      return true;
    });
    StopEngine();
    ASSERT_TRUE(asked);
    ASSERT_TRUE(offer);

    const bool takesLarge = (serverFlags & 0x100) != 0;
    bool largeAsked = false;
    for (const auto& packet : server.Received())
      if (packet.opcode == 0x19 && tarn::test::Holds(packet.payload, largeEntry)) largeAsked = true;
    EXPECT_EQ(largeAsked, takesLarge);
    std::map<std::string, uint64_t> sizes;
    for (const auto& file : offered) sizes[file.name] = file.size;
    EXPECT_EQ(sizes["small.bin"], 1000u);
    EXPECT_EQ(sizes.count("disc.iso"), takesLarge ? 1u : 0u);
    if (takesLarge) {
      EXPECT_EQ(sizes["disc.iso"], uint64_t{5} << 30);
    }
  }
};

TEST_F(ClientModuleLargeOfferTest, AServerThatTakesLargeFilesIsOfferedAndAskedForThem) {
  OfferAndAskAt(0x119);
}

TEST_F(ClientModuleLargeOfferTest, AServerWithoutTheFlagNeverHearsOfThem) { OfferAndAskAt(0x19); }

}  // namespace
}  // namespace P2P
