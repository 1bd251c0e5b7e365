#include "shell/ShellStrings.h"

#include <algorithm>
#include <array>

namespace tarn::shell {
namespace {

constexpr std::array kTable = std::to_array<SShellString>({
    {kStrShellName, "TarnShell"},
    {kStrSearchBand, "&P2P Search"},
    {kStrAbout, "About TARN"},
    {kStrDownloadCompletedTitle, "Download Completed"},
    {kStrDownloadCompletedMessage, "%s downlaod complete.Do you want to go Shared Folder?"},
    {kStrRootFolder, "Z2E Vuvirir Adozez"},
    {kStrServerFolder, "Server"},
    {kStrIncomingFolder, "Incoming"},
    {kStrSharedFolder, "Shared"},
    {kStrSearchResultsFolder, "P2P Search Results"},
    {kStrColumnName, "Name"},
    {kStrColumnComments, "Comments"},
    {kStrColumnDescription, "Description"},
    {kStrColumnType, "Type"},
    {kStrColumnSize, "Size"},
    {kStrColumnDateModified, "Date Modified"},
    {kStrColumnDateCreation, "Date Creation"},
    {kStrColumnNodes, "Nodes"},
    {kStrColumnAvailability, "Availablity"},
    {kStrColumnDuration, "Duration"},
    {kStrColumnBitrate, "Bitrate"},
    {kStrColumnCodec, "Codec"},
    {kStrColumnAlbum, "Album"},
    {kStrColumnArtist, "Artist"},
    {kStrColumnTitle, "Title"},
    {kStrColumnCompleted, "Completed"},
    {kStrColumnTransferred, "Transferred"},
    {kStrColumnProgress, "Progress"},
    {kStrColumnSpeed, "Speed"},
    {kStrColumnComplete, "Complete"},
    {kStrColumnIpAddress, "IP Address"},
    {kStrColumnPort, "Port"},
    {kStrColumnUsers, "Users"},
    {kStrColumnMaxUsers, "Max Users"},
    {kStrColumnFiles, "Files"},
    {kStrColumnSoftFiles, "Soft Files"},
    {kStrColumnHardFiles, "Hard Files"},
    {kStrColumnStatus, "Status"},
    {kStrColumnPing, "Ping"},
    {kStrProperties, "Properties"},
    {kStrProperty, "Property"},
    {kStrValue, "Value"},
    {kStrVerbDownload, "Download"},
    {kStrVerbPause, "Pause"},
    {kStrVerbStop, "Stop"},
    {kStrVerbResume, "Resume"},
    {kStrVerbCancel, "Cancel"},
    {kStrVerbOpen, "Open"},
    {kStrVerbAdd, "Add"},
    {kStrVerbUpdate, "Update"},
    {kStrVerbDelete, "Delete"},
    {kStrTypeAllFiles, "All Files"},
    {kStrTypeAudio, "Audio(Music, Sound,..)"},
    {kStrTypeCompressed, "Compressed"},
    {kStrTypeVideo, "Video(Movie)"},
    {kStrTypePicture, "Picture"},
    {kStrTypeCdImage, "CD-Image"},
    {kStrTypeProgram, "Program"},
    {kStrTypeDocument, "Document"},
    {kStrAtLeast, "at least"},
    {kStrAtMost, "at most"},
    {kStrSearchTargets, "|Incoming Folder|Shared Folder|Search Result Folder|P2P Search||"},
    {kStrOpenSharedFolder, "Open Shared Folder"},
    {kStrLinkRefused, "TARN cannot read this link"},
    {kStrDownloadRefused, "TARN did not start the download"},
    {kStrDaemonUnreachable, "TARN is not running"},
    {kStrRestartPrompt, "Restart the computer to finish setting up TARN."},
    {kStrRestart, "Restart"},
    {kStrDoNotShowAgain, "Do not show this again"},
});

static_assert(std::is_sorted(kTable.begin(), kTable.end(),
                             [](const auto& a, const auto& b) { return a.id < b.id; }));

}  // namespace

std::string_view ShellString(int id) {
  const auto found =
      std::lower_bound(kTable.begin(), kTable.end(), id,
                       [](const SShellString& s, int wanted) { return s.id < wanted; });
  return found != kTable.end() && found->id == id ? found->text : std::string_view();
}

std::span<const SShellString> ShellStrings() { return kTable; }

std::string FormatShellString(int id, std::string_view argument) {
  std::string text(ShellString(id));
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace tarn::shell
