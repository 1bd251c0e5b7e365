#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "engine/hashing/FileHasher.h"
#include "engine/hashing/HashConstants.h"
#include "tests/engine/hashing/HashReference.h"
#include "tests/support/FileSizes.h"
#include "tests/support/Sandbox.h"

namespace P2P::HASH {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

using tarn::test::PseudoRandomBytes;

_tagStructHashingOptions FullSpeed() {
  _tagStructHashingOptions options;
  options.pauseMilliseconds = 0;
  return options;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class FileHasherSizeTest : public ::testing::TestWithParam<uint32_t> {};

// Every size class: empty, one byte, around a block, around a part, two whole parts.
TEST_P(FileHasherSizeTest, MatchesIndependentDigests) {
  tarn::test::Sandbox sandbox;
  const uint32_t size = GetParam();
  const auto data = PseudoRandomBytes(size, size);
  tarn::test::WriteBytes(sandbox / "file", data);

  CTARNNetFileHasher hasher(FullSpeed());
  CTARNNetFileHashSet hashSet;
  _tagUnionHash fileHash;
  ASSERT_TRUE(hasher.HashFile(sandbox / "file", hashSet, fileHash));

  const auto parts = tarn::test::RefPartHashes(data);
  ASSERT_EQ(hashSet.HashList().Size(), parts.size());
  for (size_t i = 0; i < parts.size(); ++i)
    EXPECT_EQ(hashSet.HashList()[i].bytes, parts[i]) << "part " << i;
  EXPECT_EQ(fileHash.bytes, tarn::test::RefFileHash(data));
  ASSERT_NE(hashSet.GetRootHash(), nullptr);
  EXPECT_EQ(hashSet.GetRootHash()->bytes, tarn::test::RefAICH(data.data(), size));
  EXPECT_EQ(hashSet.GetStatus(), CTARNNetFileHashSet::kStatusVerified);
  EXPECT_EQ(hashSet.GetExpectedHashCount(), HashSetCount(size));
  // What peers exchange agrees with what hashing produced, for multi-part files.
  if (size >= kPartSize) {
    EXPECT_EQ(hashSet.HashList().Size(), HashSetCount(size));
  }
}

INSTANTIATE_TEST_SUITE_P(SizeClasses, FileHasherSizeTest,
                         ::testing::Values(0u, 1u, 184320u, 184321u, 9728000u, 9728001u, 19456000u,
                                           3 * 9728000u + 5u),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return "Bytes" + std::to_string(info.param);
                         });

// rhash's "ed2k aich" line for a file (empty when it cannot run).
std::string ExternalHashes(const std::filesystem::path& path) {
  const std::string command = "rhash --printf='%{ed2k} %{aich}' '" + path.string() + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  char line[256] = {};
  if (!pipe || fgets(line, sizeof line, pipe.get()) == nullptr) return {};
  return line;
}

// A second opinion from an independent command-line hasher, when it is installed.
TEST(FileHasherTest, AgreesWithExternalHasher) {
  if (std::system("command -v rhash >/dev/null 2>&1") != 0) GTEST_SKIP() << "rhash missing";
  tarn::test::Sandbox sandbox;
  for (uint32_t size : {1u, 9728000u, 9728001u, 19456000u + 184321u}) {
    const auto data = PseudoRandomBytes(size, size + 7);
    const auto path = sandbox / ("file" + std::to_string(size));
    tarn::test::WriteBytes(path, data);
    _tagUnionHash fileHash;
    CTARNNetAICHTree tree;
    ASSERT_TRUE(CTARNNetFileHasher(FullSpeed()).HashFile(path, &fileHash, &tree, nullptr));

    const std::string text = ExternalHashes(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, Lower(fileHash.ToHex()) + " " + Lower(tree.Root().hash.ToBase32()))
        << "size " << size;
    EXPECT_EQ(_tagStructAICHHash::FromBase32(text.substr(text.find(' ') + 1)), tree.Root().hash);
  }
}

// A 5 GiB file, sparse but for random data in its first part, across the boundary of two
// middle parts and in its last part: hashed part by part as any file (552 parts, so 552 part
// hashes), its deep AICH tree included, and equal to the external hasher's result. Two passes
// over 5 GiB: the plain build runs them; the sanitizer builds would only take longer over the
// code the smaller files exercise.
TEST(FileHasherTest, FiveGiBSparseFileHashesAsAnyFile) {
  if (kSanitized) GTEST_SKIP() << "left to the plain build";
  if (std::system("command -v rhash >/dev/null 2>&1") != 0) GTEST_SKIP() << "rhash missing";
  tarn::test::Sandbox sandbox;
  const auto path = sandbox / "large.iso";
  constexpr uint64_t kSize = uint64_t{5} << 30;
  constexpr uint32_t kParts = kSize / kPartSize + 1;
  constexpr uint32_t kMiddle = kParts / 2;  // random bytes end its part and start the next
  constexpr uint64_t kLastPart = kSize - uint64_t{kParts - 1} * kPartSize;
  const auto first = PseudoRandomBytes(kPartSize, 1);
  const auto middle = PseudoRandomBytes(2 * kHashingReadSize + 12345, 2);
  const auto last = PseudoRandomBytes(kLastPart, 3);
  const uint64_t middleAt = uint64_t{kMiddle + 1} * kPartSize - middle.size() / 2;
  {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, first.data(), first.size(), 0), ssize_t(first.size()));
    ASSERT_EQ(::pwrite(fd, middle.data(), middle.size(), off_t(middleAt)), ssize_t(middle.size()));
    ASSERT_EQ(::pwrite(fd, last.data(), last.size(), off_t(kSize - kLastPart)),
              ssize_t(last.size()));
    ::close(fd);
  }
  ASSERT_EQ(std::filesystem::file_size(path), kSize);

  _tagUnionHash fileHash;
  CTARNNetAICHTree tree;
  MD4_HASH::CTARNNetHashList list;
  ASSERT_TRUE(CTARNNetFileHasher(FullSpeed()).HashFile(path, &fileHash, &tree, &list));
  ASSERT_EQ(list.Size(), kParts);
  EXPECT_EQ(HashSetCount(kSize), kParts);
  EXPECT_EQ(list.GetFileSize(), kSize);
  // The parts that hold data, each as its bytes give it, and a part of zeros.
  std::vector<uint8_t> part(kPartSize, 0);
  const auto partAt = [&](uint32_t index) {
    std::fill(part.begin(), part.end(), 0);
    const uint64_t start = uint64_t{index} * kPartSize;
    for (size_t i = 0; i < middle.size(); ++i)
      if (middleAt + i >= start && middleAt + i < start + kPartSize)
        part[middleAt + i - start] = middle[i];
    return tarn::test::RefMD4(part.data(), part.size());
  };
  EXPECT_EQ(list[0].bytes, tarn::test::RefMD4(first.data(), first.size()));
  EXPECT_EQ(list[1].bytes, partAt(1));  // zeros only
  EXPECT_EQ(list[kMiddle].bytes, partAt(kMiddle));
  EXPECT_EQ(list[kMiddle + 1].bytes, partAt(kMiddle + 1));
  EXPECT_EQ(list[kParts - 1].bytes, tarn::test::RefMD4(last.data(), last.size()));

  EXPECT_EQ(ExternalHashes(path),
            Lower(fileHash.ToHex()) + " " + Lower(tree.Root().hash.ToBase32()));
}

// Above 256 GiB no client takes a file: it is refused without reading a byte of it.
TEST(FileHasherTest, FileAboveTheLargestSizeIsRefused) {
  tarn::test::Sandbox sandbox;
  const auto path = sandbox / "huge";
  tarn::test::WriteBytes(path, {1});
  std::filesystem::resize_file(path, tarn::test::kAboveLargestFile);
  _tagUnionHash fileHash;
  EXPECT_FALSE(CTARNNetFileHasher(FullSpeed()).HashFile(path, &fileHash, nullptr, nullptr));
}

TEST(FileHasherTest, RangeDigestMatchesPartHash) {
  tarn::test::Sandbox sandbox;
  const auto data = PseudoRandomBytes(kPartSize + 300000, 3);
  tarn::test::WriteBytes(sandbox / "file", data);
  MD4_HASH::CTARNNetHashList list;
  ASSERT_TRUE(CTARNNetFileHasher(FullSpeed()).HashFile(sandbox / "file", nullptr, nullptr, &list));
  FILE* file = std::fopen((sandbox / "file").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(MD4OfFileRange(fileno(file), 0, kPartSize), list[0]);
  EXPECT_EQ(MD4OfFileRange(fileno(file), kPartSize, 300000), list[1]);
  EXPECT_FALSE(MD4OfFileRange(fileno(file), kPartSize, 300001));  // past the end
  std::fclose(file);
}

// Files that change under the hasher, or requests to stop, fail without touching the outputs.
class FileHasherFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tarn::test::WriteBytes(path_, PseudoRandomBytes(3 * kHashingReadSize + 1000, 11));
  }

  bool Hash(_tagStructHashingOptions options) {
    fileHash_.bytes.fill(0xAA);
    list_.Clear();
    list_.Add(fileHash_);
    const bool result =
        CTARNNetFileHasher(std::move(options)).HashFile(path_, &fileHash_, nullptr, &list_);
    if (!result) {
      EXPECT_EQ(fileHash_.bytes[0], 0xAA);
      EXPECT_EQ(list_.Size(), 1u);
    }
    return result;
  }

  tarn::test::Sandbox sandbox_;
  std::filesystem::path path_ = sandbox_ / "file";
  _tagUnionHash fileHash_;
  MD4_HASH::CTARNNetHashList list_;
};

TEST_F(FileHasherFailureTest, FileThatShrinksFails) {
  auto options = FullSpeed();
  options.onProgress = [&](uint64_t, uint64_t) { std::filesystem::resize_file(path_, 1000); };
  EXPECT_FALSE(Hash(options));
}

TEST_F(FileHasherFailureTest, FileThatGrowsFails) {
  auto options = FullSpeed();
  options.onProgress = [&](uint64_t, uint64_t) {
    std::filesystem::resize_file(path_, 4 * kHashingReadSize);
  };
  EXPECT_FALSE(Hash(options));
}

TEST_F(FileHasherFailureTest, FileThatVanishesFails) {
  auto options = FullSpeed();
  options.onProgress = [&](uint64_t, uint64_t) { std::filesystem::remove(path_); };
  EXPECT_FALSE(Hash(options));
}

TEST_F(FileHasherFailureTest, MissingFileAndFolderFail) {
  std::filesystem::remove(path_);
  EXPECT_FALSE(Hash(FullSpeed()));
  std::filesystem::create_directory(path_);
  EXPECT_FALSE(Hash(FullSpeed()));
}

TEST_F(FileHasherFailureTest, StopRequestFails) {
  auto options = FullSpeed();
  bool stop = false;
  options.isStopping = [&] { return stop; };
  options.onProgress = [&](uint64_t, uint64_t) { stop = true; };
  EXPECT_FALSE(Hash(options));
}

TEST_F(FileHasherFailureTest, AbortEventEndsAPausePromptly) {
  OSTREL::Process::CEvent abort(OSTREL::Process::CEvent::Reset::kAuto);
  _tagStructHashingOptions options;
  options.pauseMilliseconds = 60000;
  options.abortEvent = &abort;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    abort.Set();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(Hash(options));
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_TRUE(abort.IsSignalled()) << "the owner of an auto-reset event still sees the request";
}

TEST_F(FileHasherFailureTest, SucceedsWithPausesAndAQuietEvent) {
  OSTREL::Process::CEvent abort(OSTREL::Process::CEvent::Reset::kManual);
  _tagStructHashingOptions options;
  options.pauseMilliseconds = 1;
  options.abortEvent = &abort;
  uint32_t lastProgress = 0;
  options.onProgress = [&](uint64_t hashed, uint64_t) { lastProgress = hashed; };
  EXPECT_TRUE(Hash(options));
  EXPECT_EQ(lastProgress, 3 * kHashingReadSize + 1000);
}

}  // namespace
}  // namespace P2P::HASH
