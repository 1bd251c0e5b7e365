// The desktop side's texts, by the numbers they have always had: one table that the link
// handler, the completion prompt and the web page share. The texts stand as they are, their
// spelling included; the numbers from 2000 on are texts of our own that the Linux desktop
// needs (notification actions and failure messages). Constant data; any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarn::shell {

enum EShellString : int {
  kStrShellName = 701,
  kStrSearchBand = 702,
  kStrAbout = 703,
  kStrDownloadCompletedTitle = 704,
  kStrDownloadCompletedMessage = 705,  // "%s": the file name
  kStrRootFolder = 801,
  kStrServerFolder = 802,
  kStrIncomingFolder = 803,
  kStrSharedFolder = 804,
  kStrSearchResultsFolder = 805,
  kStrColumnName = 811,
  kStrColumnComments = 812,
  kStrColumnDescription = 813,
  kStrColumnType = 821,
  kStrColumnSize = 822,
  kStrColumnDateModified = 823,
  kStrColumnDateCreation = 824,
  kStrColumnNodes = 825,
  kStrColumnAvailability = 831,
  kStrColumnDuration = 832,
  kStrColumnBitrate = 833,
  kStrColumnCodec = 834,
  kStrColumnAlbum = 835,
  kStrColumnArtist = 836,
  kStrColumnTitle = 837,
  kStrColumnCompleted = 851,
  kStrColumnTransferred = 852,
  kStrColumnProgress = 853,
  kStrColumnSpeed = 854,
  kStrColumnComplete = 855,
  kStrColumnIpAddress = 871,
  kStrColumnPort = 872,
  kStrColumnUsers = 873,
  kStrColumnMaxUsers = 874,
  kStrColumnFiles = 875,
  kStrColumnSoftFiles = 876,
  kStrColumnHardFiles = 877,
  kStrColumnStatus = 878,
  kStrColumnPing = 879,
  kStrProperties = 901,
  kStrProperty = 902,
  kStrValue = 903,
  kStrVerbDownload = 921,
  kStrVerbPause = 951,
  kStrVerbStop = 952,
  kStrVerbResume = 953,
  kStrVerbCancel = 954,
  kStrVerbOpen = 971,
  kStrVerbAdd = 972,
  kStrVerbUpdate = 973,
  kStrVerbDelete = 974,
  kStrTypeAllFiles = 1021,
  kStrTypeAudio = 1022,
  kStrTypeCompressed = 1023,
  kStrTypeVideo = 1024,
  kStrTypePicture = 1025,
  kStrTypeCdImage = 1026,
  kStrTypeProgram = 1027,
  kStrTypeDocument = 1028,
  kStrAtLeast = 1041,
  kStrAtMost = 1042,
  kStrSearchTargets = 1101,  // fields separated by '|'
  // Ours.
  kStrOpenSharedFolder = 2001,
  kStrLinkRefused = 2002,
  kStrDownloadRefused = 2003,
  kStrDaemonUnreachable = 2004,
  kStrRestartPrompt = 2005,
  kStrRestart = 2006,
  kStrDoNotShowAgain = 2007,
};

struct SShellString {
  int id;
  std::string_view text;
};

// The text of `id`; empty for a number the table does not hold.
std::string_view ShellString(int id);
// The whole table in ascending order of numbers.
std::span<const SShellString> ShellStrings();
// The text of `id` with its "%s" replaced by `argument`.
std::string FormatShellString(int id, std::string_view argument);

}  // namespace tarn::shell
