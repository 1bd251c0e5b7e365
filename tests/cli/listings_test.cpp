#include "cli/Listings.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/TerminalText.h"

namespace tarn::cli {
namespace {

// The table and JSON renderings share one field list per listing; these pin both, columns
// and members in their own orders.

// Every line of `table` in fewer cells than `width`: nothing wraps on that terminal.
void ExpectFits(const std::string& table, size_t width) {
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);)
    EXPECT_LT(CellWidth(line), width) << "at " << width << " columns: " << line;
}

TEST(Listings, ServersAlignColumnsAndKeysOfFiveDigitsKeepTheirBlank) {
  const std::vector<SServerRow> rows = {
      {1, "127.0.0.1:4661", "Some server", 10, 2000, 35},
      {12345, "255.255.255.255:65535", "A very long server name that does not fit", 4000000000u, 0,
       0}};
  EXPECT_EQ(
      ServersTable(rows),
      "KEY   ADDRESS               NAME                            USERS   FILES  PING\n"
      "1     127.0.0.1:4661        Some server                        10    2000    35\n"
      "12345 255.255.255.255:65535 A very long server name that ~ 4000000000       0     0\n");
  EXPECT_EQ(ServersJson({rows[0]}),
            R"([{"key":1,"address":"127.0.0.1:4661","name":"Some server","users":10,)"
            R"("files":2000,"ping":35}])"
            "\n");
  // A hostile name reaches the terminal as text.
  EXPECT_EQ(ServersTable({{2, "127.0.0.1:4661", "\x1b[2J\x1b]0;t\x07", 0, 0, 0}}),
            "KEY ADDRESS               NAME                            USERS   FILES  PING\n"
            "2   127.0.0.1:4661        ?[2J?]0;t?                          0       0     0\n");
}

TEST(Listings, DownloadsShowProgressAsABarOrAPercentage) {
  const SDownloadRow row{
      7, "file.bin", "00112233445566778899AABBCCDDEEFF", "downloading", 300000, 150000, 2048,
      3, ""};
  EXPECT_EQ(DownloadsTable({row}, true),
            "KEY NAME                                   SIZE PROGRESS                       "
            "      SPEED  SRC  STATE\n"
            "7   file.bin                          293.0 KiB [##########..........]  50.0%    "
            "2.0 KiB/s    3  downloading\n");
  EXPECT_EQ(
      DownloadLine(row, false),
      "7   file.bin                          293.0 KiB  50.0%    2.0 KiB/s    3  downloading");
  EXPECT_EQ(DownloadsJson({row}),
            R"([{"key":7,"name":"file.bin","hash":"00112233445566778899AABBCCDDEEFF",)"
            R"("size":300000,"completed":150000,"speed":2048,"sources":3,"state":"downloading",)"
            R"("failure":""}])"
            "\n");
}

// `downloads --follow` redraws by moving up over its lines: a line that wraps breaks that.
TEST(Listings, DownloadTablesFitTheTerminalByCuttingNamesThenTheBar) {
  const std::vector<SDownloadRow> rows = {
      {7, "file.bin", "00", "downloading", 300000, 150000, 2048, 3, ""},
      {12345, "A film with a rather long name, as films have.mkv", "01", "waiting", 3000000000u,
       1000, 0, 1, ""}};
  EXPECT_EQ(DownloadsTable(rows, true, 100),
            "KEY   NAME                        SIZE PROGRESS                             SPEED  "
            "SRC  STATE\n"
            "7     file.bin               293.0 KiB [##########..........]  50.0%    2.0 KiB/s"
            "    3  downloading\n"
            "12345 A film with a rather~    2.8 GiB [....................]   0.0%        0 B/s"
            "    1  waiting\n");
  // Too narrow for a bar beside a readable name: the percentage alone.
  EXPECT_EQ(DownloadsTable(rows, true, 80),
            "KEY   NAME                           SIZE   DONE        SPEED  SRC  STATE\n"
            "7     file.bin                  293.0 KiB  50.0%    2.0 KiB/s    3  downloading\n"
            "12345 A film with a rather lo~    2.8 GiB   0.0%        0 B/s    1  waiting\n");
  EXPECT_NE(DownloadsTable(rows, true, 90).find("[####"), std::string::npos) << "a shorter bar";
  for (size_t width : {72u, 80u, 90u, 100u, 120u, 200u})
    ExpectFits(DownloadsTable(rows, true, width), width);
  // A wide terminal gives the names room.
  EXPECT_NE(DownloadsTable(rows, true, 200).find(rows[1].name), std::string::npos);
}

TEST(Listings, AFailedDownloadSaysWhyUnderTheTable) {
  const SDownloadRow row{
      3,        "x.bin", "00",
      "failed", 1000,    0,
      0,        1,       "every source has this file with another size than 1000 bytes"};
  EXPECT_NE(DownloadsTable({row}, false)
                .find("\n3 failed: every source has this file with another size than 1000 "
                      "bytes\n"),
            std::string::npos);
  const std::string narrow = DownloadsTable({row}, true, 40);
  EXPECT_NE(narrow.find("\n3 failed: every source has this file w~\n"), std::string::npos)
      << narrow;
  EXPECT_NE(DownloadsJson({row}).find(R"("state":"failed","failure":"every source)"),
            std::string::npos);
}

TEST(Listings, SharedTypesAreCutToTheirColumn) {
  const std::vector<SSharedRow> rows = {{3, "song.ogg", "Ogg Vorbis audio file with a long type",
                                         "00112233445566778899AABBCCDDEEFF", 4000}};
  EXPECT_EQ(SharedTable(rows),
            "KEY NAME                                   SIZE  TYPE             HASH\n"
            "3   song.ogg                            3.9 KiB  Ogg Vorbis audi~ "
            "00112233445566778899AABBCCDDEEFF\n");
  ExpectFits(SharedTable(rows, 80), 80);
}

TEST(Listings, OneSourceIsOneSource) {
  EXPECT_EQ(ResultLine({4, "one.bin", "h", "t", 10, 1, 0}),
            "4     one.bin                                        10 B    1 source");
  EXPECT_EQ(ResultLine({12345, "two.bin", "h", "t", 10, 2, 0}),
            "12345 two.bin                                        10 B    2 sources");
}

TEST(Listings, UploadsOrderTheTableAndJsonEachTheirOwnWay) {
  std::vector<SUploadRow> rows(2);
  rows[0] = {"UH1", "10.0.0.1:4662", "FH1", "up.bin", true, 0, 75, 123456, 1.5};
  rows[1] = {"UH2", "10.0.0.2:4662", "FH2", "", false, 4, 4000, 0, 10.0};
  EXPECT_EQ(UploadsTable(rows),
            "STATE        ADDRESS         FILE                                   SENT     TIME "
            "CREDIT  USER\n"
            "uploading    10.0.0.1:4662   up.bin                            120.6 KiB     1:15 "
            "  1.50  UH1\n"
            "queued #4    10.0.0.2:4662   FH2                                       -  1:06:40 "
            " 10.00  UH2\n");
  EXPECT_EQ(UploadsJson({rows[1]}),
            R"([{"state":"queued","rank":4,"user_hash":"UH2","address":"10.0.0.2:4662",)"
            R"("file_hash":"FH2","file_name":"","seconds":4000,"sent":0,"credit_modifier":10.00}])"
            "\n");
}

TEST(Listings, RowsOfTheBulkCallReadAsTheItemsWould) {
  OSTREL::COM::SDownloadRowData data;
  data.key = 9;
  data.size = 100;
  data.completed = 100;
  EXPECT_EQ(DownloadRowFrom(data).state, "complete");
  data.paused = true;
  EXPECT_EQ(DownloadRowFrom(data).state, "paused");
  data.stopped = true;
  EXPECT_EQ(DownloadRowFrom(data).state, "stopped");
  data.failure = "every source has another size";
  EXPECT_EQ(DownloadRowFrom(data).state, "failed");
  OSTREL::COM::SServerRowData server;
  server.ip = 0x0100007F;  // 127.0.0.1 in network order
  server.port = 4661;
  EXPECT_EQ(ServerRowFrom(server).address, "127.0.0.1:4661");
}

}  // namespace
}  // namespace tarn::cli
