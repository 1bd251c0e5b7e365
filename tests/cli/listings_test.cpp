#include "cli/Listings.h"

#include <gtest/gtest.h>

namespace tarn::cli {
namespace {

// The table and JSON renderings share one field list per listing; these pin both, columns
// and members in their own orders.

TEST(Listings, ServersAlignColumnsAndCutLongNames) {
  const std::vector<SServerRow> rows = {
      {1, "127.0.0.1:4661", "Some server", 10, 2000, 35},
      {12345, "255.255.255.255:65535", "A very long server name that does not fit", 4000000000u, 0,
       0}};
  EXPECT_EQ(ServersTable(rows),
            "KEY  ADDRESS               NAME                            USERS   FILES  PING\n"
            "1    127.0.0.1:4661        Some server                        10    2000    35\n"
            "12345255.255.255.255:65535 A very long server name that ~ 4000000000       0     0\n");
  EXPECT_EQ(ServersJson({rows[0]}),
            R"([{"key":1,"address":"127.0.0.1:4661","name":"Some server","users":10,)"
            R"("files":2000,"ping":35}])"
            "\n");
}

TEST(Listings, DownloadsShowProgressAsABarOrAPercentage) {
  const SDownloadRow row{
      7, "file.bin", "00112233445566778899AABBCCDDEEFF", "downloading", 300000, 150000, 2048, 3};
  EXPECT_EQ(DownloadsTable({row}, true),
            "KEY  NAME                                   SIZE PROGRESS                       "
            "      SPEED  SRC  STATE\n"
            "7    file.bin                          293.0 KiB [##########..........]  50.0%    "
            "2.0 KiB/s    3  downloading\n");
  EXPECT_EQ(
      DownloadLine(row, false),
      "7    file.bin                          293.0 KiB  50.0%    2.0 KiB/s    3  downloading");
  EXPECT_EQ(DownloadsJson({row}),
            R"([{"key":7,"name":"file.bin","hash":"00112233445566778899AABBCCDDEEFF",)"
            R"("size":300000,"completed":150000,"speed":2048,"sources":3,"state":"downloading"}])"
            "\n");
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

}  // namespace
}  // namespace tarn::cli
