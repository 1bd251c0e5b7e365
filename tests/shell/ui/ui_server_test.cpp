#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "shell/ui/UiServer.h"
#include "tests/shell/ui/FakeUiData.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

namespace tarn::shell::ui {
namespace {

constexpr const char* kToken = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";

class UiServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.WriteFile("page/index.html", "<!DOCTYPE html><title>TARN</title>");
    sandbox_.WriteFile("page/app.js", "'use strict';");
    std::string error;
    ASSERT_TRUE(server_.Start(&error)) << error;
    origin_ = "http://127.0.0.1:" + std::to_string(server_.Port());
    cookie_ = std::string(kTokenCookie) + "=" + kToken;
  }

  httplib::Client Client() {
    httplib::Client client("127.0.0.1", server_.Port());
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    return client;
  }
  // The headers the page's own requests carry.
  httplib::Headers Ours(bool withOrigin = true) {
    httplib::Headers headers = {{"Cookie", cookie_}};
    if (withOrigin) headers.emplace("Origin", origin_);
    return headers;
  }
  int Get(const std::string& path, const httplib::Headers& headers) {
    auto answer = Client().Get(path, headers);
    return answer ? answer->status : -1;
  }
  int Post(const std::string& path, const httplib::Headers& headers, const std::string& body) {
    auto answer = Client().Post(path, headers, body, "application/x-www-form-urlencoded");
    return answer ? answer->status : -1;
  }

  test::Sandbox sandbox_;
  CFakeUiData data_;
  CEventHub hub_;
  OSTREL::Platform::CRegistry registry_{sandbox_ / "registry"};
  CUiApi api_{data_, hub_, registry_};
  CUiServer server_{api_, hub_, {.port = 0, .pageFolder = sandbox_ / "page", .token = kToken}};
  std::string origin_, cookie_;
};

TEST_F(UiServerTest, NothingAnswersWithoutTheToken) {
  for (const char* path :
       {"/", "/ui/app.js", "/api/tree", "/api/folder?f=incoming", "/api/events"}) {
    EXPECT_EQ(Get(path, {}), 403) << path;
    EXPECT_EQ(Get(path, {{"Cookie", std::string(kTokenCookie) + "=0011"}}), 403) << path;
    EXPECT_EQ(Get(std::string(path) + (std::strchr(path, '?') ? "&" : "?") + "t=WRONG", {}), 403)
        << path;
  }
  EXPECT_EQ(Post("/api/verb", {{"Origin", origin_}}, "f=incoming&verb=cancel&keys=1"), 403);
  EXPECT_TRUE(data_.Calls().empty());
}

TEST_F(UiServerTest, TheAddressTokenBecomesAStrictHttpOnlyCookie) {
  EXPECT_EQ(server_.Address(), origin_ + "/?t=" + kToken);
  auto answer = Client().Get(std::string("/?t=") + kToken);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 303);
  EXPECT_EQ(answer->get_header_value("Location"), "/");
  const std::string cookie = answer->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find(cookie_), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
  EXPECT_NE(cookie.find("Path=/"), std::string::npos);

  auto page = Client().Get("/", Ours(false));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->body, "<!DOCTYPE html><title>TARN</title>");
  const std::string csp = page->get_header_value("Content-Security-Policy");
  EXPECT_NE(csp.find("default-src 'none'"), std::string::npos);
  EXPECT_NE(csp.find("script-src 'self'"), std::string::npos);
  EXPECT_EQ(csp.find("unsafe-inline"), std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  EXPECT_FALSE(page->has_header("Access-Control-Allow-Origin"));
  EXPECT_EQ(Get("/ui/../index.html", Ours(false)), 404);
  EXPECT_EQ(Get("/ui/missing.js", Ours(false)), 404);
}

TEST_F(UiServerTest, AnyHostButTheLoopbackAddressAndPortIsRefused) {
  // What a page under another name that resolves here (DNS rebinding) would send.
  const std::string port = std::to_string(server_.Port());
  for (const std::string& host : {"localhost:" + port, "attacker.example:" + port,
                                  "127.0.0.1:" + std::to_string(server_.Port() + 1),
                                  std::string("127.0.0.1"), std::string()}) {
    httplib::Headers headers = Ours(false);
    headers.emplace("Host", host);
    EXPECT_EQ(Get("/api/tree", headers), 403) << host;
    EXPECT_EQ(Get(std::string("/?t=") + kToken, {{"Host", host}}), 403) << host;
  }
  EXPECT_EQ(Get("/api/tree", Ours(false)), 200);
}

TEST_F(UiServerTest, AForeignOriginOrAPostWithoutOneChangesNothing) {
  data_.SetDownloads({{.key = 1, .name = "a"}});
  const std::string body = "f=incoming&verb=cancel&keys=1";
  httplib::Headers foreign = {{"Cookie", cookie_}, {"Origin", "http://attacker.example"}};
  EXPECT_EQ(Post("/api/verb", foreign, body), 403);
  EXPECT_EQ(Post("/api/verb", {{"Cookie", cookie_}, {"Origin", "null"}}, body), 403);
  EXPECT_EQ(Post("/api/verb", Ours(false), body), 403);
  EXPECT_EQ(Get("/api/tree", foreign), 403);
  EXPECT_TRUE(data_.Calls().empty());
  // GET never changes state: the verbs are not reachable by GET at all.
  EXPECT_EQ(Get("/api/verb?f=incoming&verb=cancel&keys=1", Ours()), 404);
  EXPECT_TRUE(data_.Calls().empty());
  EXPECT_EQ(Post("/api/verb", Ours(), body), 200);
  EXPECT_EQ(data_.Calls(), (std::vector<std::string>{"verb 1 3"}));
}

TEST_F(UiServerTest, NamesFromTheNetworkLeaveAsEscapedJson) {
  data_.SetResults({{.key = 9, .name = "<img src=x onerror=alert(1)>\"</script>\x1b"}});
  auto answer = Client().Get("/api/folder?f=results", Ours(false));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_NE(answer->body.find(R"("<img src=x onerror=alert(1)>\"</script>\u001b")"),
            std::string::npos)
      << answer->body;
}

TEST_F(UiServerTest, TheEventStreamSendsAFewUpdatesASecondWhateverTheRate) {
  std::atomic<int> messages{0};
  std::string last;
  std::mutex lastLock;
  std::atomic<bool> enough{false};
  std::thread reader([&] {
    httplib::Client client("127.0.0.1", server_.Port());
    client.set_read_timeout(5);
    client.Get("/api/events", Ours(false), [&](const char* data, size_t size) {
      const std::string chunk(data, size);
      if (chunk.rfind("data: ", 0) == 0) {
        ++messages;
        std::lock_guard guard(lastLock);
        last = chunk;
      }
      return !enough;
    });
  });
  ASSERT_TRUE(test::WaitUntil([&] { return messages >= 1; }));
  const auto start = std::chrono::steady_clock::now();
  // 2,000 changes of the download list within one second.
  for (int i = 0; i < 2000; ++i) {
    hub_.Touch(EChannel::kDownloads);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(test::WaitUntil([&] {
    std::lock_guard guard(lastLock);
    return last.find("\"downloads\":2000") != std::string::npos;
  })) << last;
  EXPECT_LE(messages, 2 + static_cast<int>(seconds * 4 + 2)) << "in " << seconds << " s";
  enough = true;
  hub_.Touch(EChannel::kStatus);
  reader.join();
}

TEST_F(UiServerTest, StopEndsOpenEventStreams) {
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    httplib::Client client("127.0.0.1", server_.Port());
    client.set_read_timeout(30);
    client.Get("/api/events", Ours(false), [&](const char*, size_t) { return true; });
    ended = true;
  });
  ASSERT_TRUE(test::WaitUntil([&] { return hub_.Current()[0] == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  server_.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  reader.join();
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace tarn::shell::ui
