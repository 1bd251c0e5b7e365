#include <gtest/gtest.h>

#include "platform/RegistryKey.h"
#include "shell/ui/UiApi.h"
#include "tests/shell/ui/FakeUiData.h"
#include "tests/support/Sandbox.h"

namespace tarn::shell::ui {
namespace {

using OSTREL::Platform::CRegKey;
using OSTREL::Platform::RegRoot;

class UiApiTest : public ::testing::Test {
 protected:
  static bool Has(const SApiAnswer& answer, const std::string& text) {
    return answer.json.find(text) != std::string::npos;
  }

  test::Sandbox sandbox_;
  CFakeUiData data_;
  CEventHub hub_;
  OSTREL::Platform::CRegistry registry_{sandbox_ / "registry"};
  CUiApi api_{data_, hub_, registry_};
};

TEST_F(UiApiTest, AFolderAnswersTheWindowAskedInTheOrderAsked) {
  std::vector<SSharedFileRecord> files;
  for (uint32_t key = 1; key <= 500; ++key)
    files.push_back({.key = key, .name = "file " + std::to_string(1000 - key), .size = key});
  data_.SetShared(std::move(files));
  auto answer = api_.Folder(
      {{"f", "shared"}, {"sort", "2"}, {"desc", "1"}, {"offset", "10"}, {"count", "2"}});
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(Has(answer, R"("total":500,"offset":10,"rows":[{"key":490,"cells":["file 510")"))
      << answer.json;
  EXPECT_TRUE(Has(answer, R"({"key":489,)"));
  EXPECT_FALSE(Has(answer, R"({"key":488,)"));
  EXPECT_TRUE(Has(answer, R"({"title":"Size","width":30,"align":"right"})"));
  // Past the end: no rows, no fault.
  answer = api_.Folder({{"f", "shared"}, {"offset", "4000000000"}});
  EXPECT_TRUE(Has(answer, R"("offset":500,"rows":[])")) << answer.json;
  EXPECT_EQ(api_.Folder({{"f", "../etc"}}).status, 404);
}

TEST_F(UiApiTest, AStoredViewStateSortsTheFolderUntilThePageAsksOtherwise) {
  data_.SetDownloads({{.key = 1, .name = "b", .size = 5}, {.key = 2, .name = "a", .size = 9}});
  EXPECT_EQ(api_.SaveViewState({{"f", "incoming"},
                                {"sort", "2"},
                                {"desc", "1"},
                                {"widths", "30,10,10,10,10,10,10,30,40"}})
                .status,
            200);
  auto answer = api_.Folder({{"f", "incoming"}});
  EXPECT_TRUE(Has(answer, R"("sort":2,"desc":true,"widths":[30,10,10,10,10,10,10,30,40])"))
      << answer.json;
  EXPECT_LT(answer.json.find(R"("key":2)"), answer.json.find(R"("key":1)"));
  EXPECT_TRUE(Has(answer, R"("progress":0,"state":"running")"));
  EXPECT_EQ(CRegKey::Open(registry_, RegRoot::kCurrentUser,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer")
                ->QueryString("P2PDownloadListX", 100),
            "2 1 30 10 10 10 10 10 10 30 40");
  // A column past the table, or widths for another table, are not stored.
  EXPECT_EQ(api_.SaveViewState({{"f", "incoming"}, {"sort", "9"}}).status, 400);
  EXPECT_EQ(api_.SaveViewState({{"f", "shared"}, {"sort", "1"}, {"widths", "1,2"}}).status, 400);
}

TEST_F(UiApiTest, TheDownloadMenuGreysWhatTheChosenDownloadsCannotDo) {
  data_.SetDownloads({{.key = 1, .name = "run"}, {.key = 2, .name = "held", .paused = true}});
  auto running = api_.Menu({{"f", "incoming"}, {"keys", "1"}});
  EXPECT_TRUE(Has(running, R"({"text":"Pause","verb":"pause","default":false,"enabled":true})"));
  EXPECT_TRUE(Has(running, R"({"text":"Resume","verb":"resume","default":false,"enabled":false})"));
  EXPECT_TRUE(Has(
      running,
      R"({"text":"Properties","verb":"properties","default":true,"enabled":true},{"separator":true},{"text":"About TARN")"))
      << running.json;
  auto paused = api_.Menu({{"f", "incoming"}, {"keys", "2"}});
  EXPECT_TRUE(Has(paused, R"({"text":"Pause","verb":"pause","default":false,"enabled":false})"));
  EXPECT_TRUE(Has(paused, R"({"text":"Resume","verb":"resume","default":false,"enabled":true})"));
  EXPECT_TRUE(Has(paused, R"({"text":"Cancel","verb":"cancel","default":false,"enabled":true})"));
  auto both = api_.Menu({{"f", "incoming"}, {"keys", "1,2,x"}});
  EXPECT_TRUE(Has(both, R"("verb":"pause","default":false,"enabled":true)"));
  EXPECT_TRUE(Has(both, R"("verb":"resume","default":false,"enabled":true)"));
  EXPECT_TRUE(
      Has(api_.Menu({{"f", "results"}}), R"({"text":"Download","verb":"download","default":true)"));
}

TEST_F(UiApiTest, VerbsReachTheDaemonOnlyForTheirOwnFolder) {
  EXPECT_EQ(api_.RunVerb({{"f", "incoming"}, {"verb", "pause"}, {"keys", "3,4"}}).status, 200);
  EXPECT_EQ(api_.RunVerb({{"f", "results"}, {"verb", "download"}, {"keys", "7"}}).status, 200);
  EXPECT_EQ(api_.RunVerb({{"f", "shared"}, {"verb", "open"}, {"keys", "8"}}).status, 200);
  EXPECT_EQ(api_.RunVerb({{"f", "results"}, {"verb", "cancel"}, {"keys", "7"}}).status, 400);
  EXPECT_EQ(api_.RunVerb({{"f", "incoming"}, {"verb", "rm -rf"}, {"keys", "7"}}).status, 400);
  EXPECT_EQ(data_.Calls(),
            (std::vector<std::string>{"verb 3 0", "verb 4 0", "download 7", "open 8"}));
}

TEST_F(UiApiTest, RenamingTakesOnlyAPlainFileName) {
  for (const char* bad : {"", ".", "..", "../../.bashrc", "a/b", "a\\b", "tab\there", "nul\x01"})
    EXPECT_EQ(api_.Rename({{"f", "incoming"}, {"key", "1"}, {"name", bad}}).status, 400) << bad;
  EXPECT_EQ(api_.Rename({{"f", "results"}, {"key", "1"}, {"name", "x"}}).status, 400);
  EXPECT_EQ(api_.Rename({{"f", "shared"}, {"key", "5"}, {"name", "new name.avi"}}).status, 200);
  EXPECT_EQ(data_.Calls(), (std::vector<std::string>{"rename 5 new name.avi"}));
}

TEST_F(UiApiTest, TheSearchBandSendsItsTermsAndSaysWhenTheNameIsMissing) {
  EXPECT_EQ(api_.Search({{"keyword", ""}}).status, 400);
  api_.Search({{"keyword", "song"}, {"type", "1"}, {"size", "medium"}});
  api_.Search(
      {{"keyword", "iso"}, {"type", "5"}, {"size", "specified"}, {"mode", "most"}, {"mb", "700"}});
  api_.Search({{"keyword", "x"}, {"size", "specified"}, {"mb", "lots"}});
  EXPECT_EQ(data_.Calls(),
            (std::vector<std::string>{"search song|Audio|0|104857600", "search iso|Iso|0|734003200",
                                      "search x||-|-"}));
}

TEST_F(UiApiTest, APasteOrDropMayCarrySeveralLinks) {
  auto answer = api_.AddLink({{"link", "  ed2k://|file|a|1|" + std::string(32, 'A') +
                                           "|/\r\n\n ed2k://|server|1.2.3.4|4661|/ "}});
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(data_.Calls(),
            (std::vector<std::string>{"link ed2k://|file|a|1|" + std::string(32, 'A') + "|/",
                                      "link ed2k://|server|1.2.3.4|4661|/"}));
  EXPECT_EQ(api_.AddLink({{"link", " \n "}}).status, 400);
}

TEST_F(UiApiTest, TheCompletionPromptCanTurnItselfOff) {
  api_.QueueCompletionPrompt({.name = "film.avi", .fullPath = "/shared/film.avi"});
  api_.QueueCompletionPrompt({.name = "song.mp3", .fullPath = "/shared/song.mp3"});
  auto prompts = api_.Prompts();
  EXPECT_TRUE(Has(
      prompts,
      R"({"id":1,"title":"Download Completed","message":"film.avi downlaod complete.Do you want to go Shared Folder?")"))
      << prompts.json;
  EXPECT_EQ(api_.AnswerPrompt({{"id", "1"}, {"answer", "ok"}}).status, 200);
  EXPECT_EQ(api_.AnswerPrompt({{"id", "1"}, {"answer", "ok"}}).status, 404);
  EXPECT_EQ(api_.AnswerPrompt({{"id", "2"}, {"answer", "cancel"}, {"never", "1"}}).status, 200);
  EXPECT_EQ(data_.Calls(), (std::vector<std::string>{"completion /shared/film.avi open",
                                                      "completion /shared/song.mp3 never"}));
  EXPECT_TRUE(Has(api_.Prompts(), R"("prompts":[])"));
}

TEST_F(UiApiTest, TheTreeHoldsTheRegistryChildrenAndTheToolbarItsFourButtons) {
  const std::string child =
      "Software\\Ostrel\\Z2E Vuvirir Adozez\\Folders\\{01FA5910-CD87-419F-A55B-719318E7AD0D}";
  auto key = CRegKey::Create(registry_, RegRoot::kCurrentUser, child);
  key->SetString("Text", "Servers <b>");
  key->SetString("Comment", "known servers");
  CRegKey::Create(registry_, RegRoot::kCurrentUser,
                  "Software\\Ostrel\\Z2E Vuvirir Adozez\\Folders\\not a class id");
  auto tree = api_.Tree();
  EXPECT_TRUE(Has(
      tree,
      R"({"name":"incoming","title":"Incoming","comment":"","builtIn":true},{"name":"shared","title":"Shared","comment":"","builtIn":true},{"name":"{01FA5910-CD87-419F-A55B-719318E7AD0D}","title":"Servers <b>","comment":"known servers","builtIn":false}])"))
      << tree.json;
  EXPECT_TRUE(Has(
      tree,
      R"("toolbar":[{"command":"incoming","text":"Incoming Folder"},{"command":"shared","text":"Shared Folder"},{"command":"results","text":"Search Result Folder"},{"command":"search","text":"P2P Search"}])"));
  auto root = api_.Folder({{"f", "root"}});
  EXPECT_TRUE(Has(root, R"("total":3)")) << root.json;
  EXPECT_TRUE(Has(root, R"("target":"{01FA5910-CD87-419F-A55B-719318E7AD0D}")"));
  auto foreign = api_.Folder({{"f", "{01FA5910-CD87-419F-A55B-719318E7AD0D}"}});
  EXPECT_TRUE(Has(foreign, R"("total":0)"));
}

TEST_F(UiApiTest, TipsAndSheetsOfItemsThatWentAwayAreNotFound) {
  EXPECT_EQ(api_.Tip({{"f", "incoming"}, {"key", "404"}}).status, 404);
  EXPECT_EQ(api_.Properties({{"f", "results"}, {"key", "404"}}).status, 404);
  EXPECT_EQ(api_.Tip({{"f", "incoming"}}).status, 400);
  auto sheet = api_.Properties({{"f", "results"}, {"key", "5"}});
  EXPECT_TRUE(Has(sheet, R"("caption":"Properties")"));
  EXPECT_TRUE(Has(sheet, R"({"kind":"alternate","title":"Alternate")")) << sheet.json;
}

}  // namespace
}  // namespace tarn::shell::ui
