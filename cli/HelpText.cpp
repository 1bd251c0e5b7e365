#include "cli/HelpText.h"

#include <map>

namespace tarn::cli {
namespace {

const std::map<std::string, std::string>& Helps() {
  static const std::map<std::string, std::string> helps{
      {"status",
       "Usage: tarn status [--json]\n"
       "The daemon's state: the server connected to (address, name, our id and whether it is\n"
       "a low or high id, its users and files) or \"not connected\", user name, ports,\n"
       "folders, servers, downloads with their total speed, shared files, and the bytes\n"
       "uploaded and downloaded since the daemon started with the current rates.\n"},
      {"servers",
       "Usage: tarn servers [--json]\n"
       "       tarn servers add IP:PORT|ed2k://|server|IP|PORT|/ [--json]\n"
       "       tarn servers remove IP:PORT|LINK [--json]\n"
       "       tarn servers connect IP:PORT|LINK [--wait SECONDS] [--json]\n"
       "Lists the known index servers (key, address, name, users, files, ping); adds one,\n"
       "removes one (not the one connected to), or leaves the current server for another\n"
       "listed one and waits (--wait, default 10 s) until it answers. A malformed or unusable\n"
       "address exits 2; a server not listed, one that does not answer, or a second port of a\n"
       "listed address (the list holds one server per address) exits 1.\n"},
      {"search",
       "Usage: tarn search WORDS... [--type T] [--ext E] [--min-size S] [--max-size S]\n"
       "                   [--sources N] [--wait SECONDS] [--json]\n"
       "Searches the connected server and prints the results as they arrive (key, name,\n"
       "size, sources) until none came for two seconds after the first, or --wait seconds\n"
       "(default 8) passed. Types: Audio, Video, Image, Program, Document, Archive, Iso.\n"
       "Sizes take k, M, G units (binary), up to 256 GiB. A malformed expression exits 2\n"
       "with the reason, a search while not connected exits 1. Download one with\n"
       "`tarn download KEY`.\n"},
      {"download",
       "Usage: tarn download LINK|KEY [--to FOLDER] [--name NAME]\n"
       "Starts the download of a file link (ed2k://|file|NAME|SIZE|HASH|/) or of the search\n"
       "result KEY, into FOLDER (default: the shared folder) as NAME. The daemon takes\n"
       "folders below its shared and temp folders and those its configuration lists as\n"
       "\"Download Folders\".\n"},
      {"downloads",
       "Usage: tarn downloads [--follow] [--for SECONDS] [--json]\n"
       "Lists the downloads: key, name, size, progress, speed, sources, state. --follow keeps\n"
       "the list current (redrawn to the terminal's width, a line per change on a pipe, a line\n"
       "for each download that completes or goes) until Ctrl-C or --for SECONDS; it follows a\n"
       "restarted daemon and ends with status 3 when none comes back.\n"},
      {"pause", "Usage: tarn pause KEY\nPauses the download KEY; `tarn resume KEY` goes on.\n"},
      {"stop", "Usage: tarn stop KEY\nStops the download KEY and lets its sources go.\n"},
      {"resume", "Usage: tarn resume KEY\nResumes the paused or stopped download KEY.\n"},
      {"cancel", "Usage: tarn cancel KEY\nCancels the download KEY and deletes its data.\n"},
      {"shared",
       "Usage: tarn shared [--json]\nLists the shared files: key, name, size, type, hash.\n"},
      {"uploads",
       "Usage: tarn uploads [--json]\n"
       "Lists the clients of our uploads: those holding an upload slot first, then the queue\n"
       "in rank order, with the address, the file, the bytes sent in the slot, the time\n"
       "waited or in the slot, the credit modifier that orders the queue, and the user hash.\n"},
      {"config",
       "Usage: tarn config [NAME [VALUE]] [--json]\n"
       "Without NAME lists the settings, with NAME prints one, with VALUE sets it.\n"
       "Settings: UserName, TCPPort, UDPPort (writable; new ports apply at the daemon's next\n"
       "start); ConfigPath, TempPath, SharedPath.\n"},
      {"watch",
       "Usage: tarn watch [--for SECONDS] [--json]\n"
       "Prints the daemon's events as they happen (servers, downloads, shared files, search\n"
       "results), one a line, until Ctrl-C or --for SECONDS. It follows a restarted daemon\n"
       "and ends with status 3 when none comes back within 10 seconds.\n"},
  };
  return helps;
}

}  // namespace

std::string MainHelp() {
  return "Usage: tarn COMMAND [ARGUMENTS] [--json]\n"
         "Drives the TARN daemon (tarnsvc) over the D-Bus session bus.\n"
         "\n"
         "Commands:\n"
         "  status                      the daemon's state and totals\n"
         "  servers [add|remove|connect IP:PORT|LINK]\n"
         "                              the index servers; add, remove, connect to one\n"
         "  search WORDS...             search and print results as they arrive\n"
         "  download LINK|KEY           start a download from a link or a search result\n"
         "  downloads [--follow]        the downloads with progress\n"
         "  pause|stop|resume|cancel KEY\n"
         "  shared                      the shared files\n"
         "  uploads                     who we upload to and who waits\n"
         "  config [NAME [VALUE]]       read or change a setting\n"
         "  watch                       events as they happen\n"
         "\n"
         "`tarn COMMAND --help` explains one command. --json gives listings for scripts.\n"
         "Exit status: 0 done, 1 refused or failed, 2 bad usage or link, 3 daemon unreachable.\n";
}

std::string CommandHelp(const std::string& command) {
  const auto found = Helps().find(command);
  return found == Helps().end() ? std::string() : found->second;
}

}  // namespace tarn::cli
