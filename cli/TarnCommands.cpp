#include "cli/TarnCommands.h"

#include <charconv>
#include <chrono>
#include <map>
#include <set>

#include "cli/HelpText.h"
#include "cli/Listings.h"
#include "cli/Targets.h"
#include "cli/TerminalText.h"
#include "cli/Units.h"
#include "engine/protocol/Limits.h"
#include "framework/JsonWriter.h"
#include "service/automation/FileRecords.h"

namespace tarn::cli {
namespace {

using namespace OSTREL::COM;
using OSTREL::Util::CJsonWriter;
using Clock = std::chrono::steady_clock;

const std::map<std::string, SOptionSpec>& Specs() {
  static const std::map<std::string, SOptionSpec> specs{
      {"status", {{}, {"--json", "--help"}}},
      {"servers", {{"--wait"}, {"--json", "--help"}}},
      {"search",
       {{"--type", "--ext", "--min-size", "--max-size", "--sources", "--wait"},
        {"--json", "--help"}}},
      {"download", {{"--to", "--name"}, {"--help"}}},
      {"downloads", {{"--for"}, {"--json", "--follow", "--help"}}},
      {"pause", {{}, {"--help"}}},
      {"stop", {{}, {"--help"}}},
      {"resume", {{}, {"--help"}}},
      {"cancel", {{}, {"--help"}}},
      {"shared", {{}, {"--json", "--help"}}},
      {"uploads", {{}, {"--json", "--help"}}},
      {"config", {{}, {"--json", "--help"}}},
      {"watch", {{"--for"}, {"--json", "--help"}}},
  };
  return specs;
}

// Seconds as typed ("3", "0.5"); nothing for anything else.
std::optional<std::chrono::milliseconds> ReadSeconds(const std::string& text) {
  try {
    size_t used = 0;
    const double seconds = std::stod(text, &used);
    if (used != text.size() || !(seconds >= 0) || seconds > 86400.0) return std::nullopt;
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The type word a search sends for what the user typed: the words themselves ("Audio",
// "Pro", ...) or their long forms ("Program", "Document", ...), in any case.
std::optional<std::string> SearchTypeWord(const std::string& typed) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"audio", "Audio"}, {"video", "Video"}, {"image", "Image"},  {"pro", "Pro"},
      {"program", "Pro"}, {"doc", "Doc"},     {"document", "Doc"}, {"arc", "Arc"},
      {"archive", "Arc"}, {"iso", "Iso"},     {"cd", "Iso"},
  };
  std::string lower = typed;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [name, word] : kTypes)
    if (lower == name) return std::string(word);
  return std::nullopt;
}

// Records the events of every list as lines, for `watch` and for the search.
class CEventLines : public _IP2PServerListEvents,
                    public _IP2PFileListEvents,
                    public _IP2PSearchResultFileListEvents {
 public:
  CEventLines(std::string fileSubject, bool json) : fileSubject_(std::move(fileSubject)), json_(json) {}
  void OnServerAdded(uint32_t key) override { Note("server", "added", key); }
  void OnServerChanged(uint32_t key) override { Note("server", "changed", key); }
  void OnServerRemoved(uint32_t key) override { Note("server", "removed", key); }
  void OnFileAdded(uint32_t key) override { Note(fileSubject_, "added", key); }
  void OnFileChanged(uint32_t key) override { Note(fileSubject_, "changed", key); }
  void OnFileRemoved(uint32_t key) override { Note(fileSubject_, "removed", key); }
  void OnResultsCleared() override { Note("search", "cleared", 0); }
  void OnResultAdded(uint32_t key) override { Note("result", "added", key); }
  void OnResultChanged(uint32_t key) override { Note("result", "changed", key); }
  void OnSearchNotify() override { Note("search", "notify", 0); }

  std::vector<std::string> Take() { return std::exchange(lines_, {}); }

 private:
  void Note(const std::string& subject, const char* what, uint32_t key) {
    if (json_) {
      CJsonWriter json;
      json.BeginObject().Member("subject", subject).Member("event", std::string(what));
      if (key != 0) json.Member("key", key);
      lines_.push_back(json.EndObject().Text());
    } else {
      lines_.push_back(subject + " " + what + (key != 0 ? " " + std::to_string(key) : ""));
    }
  }
  std::string fileSubject_;
  bool json_;
  std::vector<std::string> lines_;
};

// The results of a search as they come: new keys in arrival order.
class CResultKeys : public _IP2PSearchResultFileListEvents {
 public:
  void OnResultsCleared() override {}
  void OnResultAdded(uint32_t key) override { Add(key); }
  void OnResultChanged(uint32_t key) override { Add(key); }
  void OnSearchNotify() override {}
  std::vector<uint32_t> Take() { return std::exchange(fresh_, {}); }

 private:
  void Add(uint32_t key) {
    if (seen_.insert(key).second) fresh_.push_back(key);
  }
  std::set<uint32_t> seen_;
  std::vector<uint32_t> fresh_;
};

// The keys of the downloads the daemon removed, as its events tell them: a download that came
// and went between two looks at the list is reported too.
class CRemovedKeys : public _IP2PDownloadFileListEvents {
 public:
  void OnFileAdded(uint32_t) override {}
  void OnFileChanged(uint32_t) override {}
  void OnFileRemoved(uint32_t key) override { removed_.push_back(key); }
  std::vector<uint32_t> Take() { return std::exchange(removed_, {}); }

 private:
  std::vector<uint32_t> removed_;
};

// Adds to `before` the downloads removed since the last look that it never held, from the
// records the list keeps of downloads that left it.
void AddDownloadsSeenOnlyGoing(IP2PDownloadFileList& list, const std::vector<uint32_t>& removed,
                               std::map<int32_t, SDownloadRow>& before) {
  std::vector<uint32_t> unseen;
  for (const uint32_t key : removed)
    if (before.count(static_cast<int32_t>(key)) == 0) unseen.push_back(key);
  auto* records = dynamic_cast<IP2PDownloadRecords*>(&list);
  std::vector<SDownloadRecord> gone;
  if (unseen.empty() || records == nullptr || !Succeeded(records->GetRecordsByKey(unseen, &gone)))
    return;
  for (const SDownloadRecord& record : gone) {
    if (record.phase == static_cast<uint32_t>(EDownloadPhase::kListed)) continue;
    SDownloadRow& row = before[static_cast<int32_t>(record.key)];
    row.key = static_cast<int32_t>(record.key);
    row.name = record.name;
    row.hash = record.hash;
  }
}

}  // namespace

int CTarnCommands::Fail(int status, const std::string& message) {
  io_.err << "tarn: " << ForTerminal(message) << "\n";
  io_.err.flush();
  return status;
}

bool CTarnCommands::Connect() {
  client_ = connect_();
  if (!client_) {
    Fail(kExitUnreachable, io_.systemBus
                               ? "no system bus to reach the daemon on (is dbus running?)"
                               : "no D-Bus session bus to reach the daemon on (is "
                                 "DBUS_SESSION_BUS_ADDRESS set? TARN_BUS=system reaches the "
                                 "system service)");
    return false;
  }
  const std::string bus = io_.systemBus ? "the system bus" : "the session bus";
  manager_ = client_->ServiceManager();
  std::shared_ptr<IP2PConfig> config;
  const HRESULT hr = manager_->get_Config(&config);
  if (hr == E_ACCESSDENIED) {
    Fail(kExitUnreachable,
         "permission denied: " + bus + " refuses your calls to " + client_->Destination() +
             (io_.systemBus ? " (only root and members of the group \"tarn\" may call it)"
                            : " (its policy does not let you call it)"));
    return false;
  }
  if (hr == RPC_E_DISCONNECTED || !config) {
    Fail(kExitUnreachable, "the TARN daemon is not running (nothing answers as " +
                               client_->Destination() + " on " + bus + "; start tarnsvc)");
    return false;
  }
  return true;
}

int CTarnCommands::Run(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return Fail(kExitUsage, "give a command (tarn --help lists them)");
  if (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
    if (arguments.size() >= 2 && !CommandHelp(arguments[1]).empty()) {
      io_.out << CommandHelp(arguments[1]);
      return kExitOk;
    }
    io_.out << MainHelp();
    return kExitOk;
  }
  const std::string command = arguments[0];
  const auto spec = Specs().find(command);
  if (spec == Specs().end())
    return Fail(kExitUsage, "unknown command \"" + command + "\" (see tarn --help)");
  SParsedArguments args;
  std::string error;
  if (!ParseArguments({arguments.begin() + 1, arguments.end()}, spec->second, args, error))
    return Fail(kExitUsage, command + ": " + error);
  if (args.Has("--help")) {
    io_.out << CommandHelp(command);
    return kExitOk;
  }
  // Usage is checked before the daemon is asked, so a bad link fails the same way without it.
  if (command == "download" && args.words.size() == 1) {
    SDownloadTarget target;
    if (!ReadDownloadTarget(args.words[0], target, error)) return Fail(kExitUsage, error);
  }
  if (!Connect()) return kExitUnreachable;
  if (command == "status") return Status(args);
  if (command == "servers") return Servers(args);
  if (command == "search") return Search(args);
  if (command == "download") return Download(args);
  if (command == "downloads") return Downloads(args);
  if (command == "shared") return Shared(args);
  if (command == "uploads") return Uploads(args);
  if (command == "config") return Config(args);
  if (command == "watch") return Watch(args);
  return Control(command, args);
}

namespace {

std::string ConnectionLine(const OSTREL::COM::SConnectionState& link) {
  if (!link.connected) return "not connected";
  std::string line = link.address;
  if (!link.name.empty()) line += " (" + ForTerminal(link.name) + ")";
  line += ", id " + std::to_string(link.clientId) + (link.lowId ? " (low id)" : " (high id)");
  return line + ", " + std::to_string(link.users) + " users, " + std::to_string(link.files) +
         " files";
}

}  // namespace

int CTarnCommands::Status(const SParsedArguments& args) {
  if (!args.words.empty()) return Fail(kExitUsage, "status takes no arguments");
  std::shared_ptr<IP2PConfig> config;
  std::shared_ptr<IP2PServerList> servers;
  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PSharedFileList> shared;
  if (!Succeeded(manager_->get_Config(&config)) || !Succeeded(manager_->get_ServerList(&servers)) ||
      !Succeeded(manager_->get_DownloadFileList(&downloads)) ||
      !Succeeded(manager_->get_SharedFileList(&shared)))
    return Fail(kExitFailed, "the daemon did not hand out its lists");
  std::string user, configPath, sharedPath;
  int16_t tcp = 0, udp = 0;
  config->get_UserName(&user);
  config->get_TCPPort(&tcp);
  config->get_UDPPort(&udp);
  config->get_ConfigPath(&configPath);
  config->get_SharedPath(&sharedPath);
  std::vector<SServerRow> serverRows;
  std::vector<SDownloadRow> downloadRows;
  if (!Succeeded(ListServers(*servers, serverRows)) ||
      !Succeeded(ListDownloads(*downloads, downloadRows)))
    return Fail(kExitFailed, "the daemon did not list its servers and downloads");
  int32_t sharedCount = 0;
  shared->get_Count(&sharedCount);
  const auto connection = client_->ServerConnection();
  OSTREL::COM::SConnectionState link;
  OSTREL::COM::STransferTotals totals;
  if (!Succeeded(connection->GetConnectionState(&link)) ||
      !Succeeded(connection->GetTransferTotals(&totals)))
    return Fail(kExitFailed, "the daemon did not tell its server connection");
  uint64_t speed = 0, active = 0, users = 0, files = 0;
  for (const auto& row : downloadRows) {
    speed += row.speed;
    if (row.state == "downloading" || row.state == "waiting") ++active;
  }
  for (const auto& row : serverRows) {
    users += row.users;
    files += row.files;
  }
  if (args.Has("--json")) {
    CJsonWriter json;
    json.BeginObject()
        .Member("user", user)
        .Member("tcp_port", static_cast<uint16_t>(tcp))
        .Member("udp_port", static_cast<uint16_t>(udp))
        .Member("config_path", configPath)
        .Member("shared_path", sharedPath)
        .Member("connected", link.connected)
        .Member("server_address", link.address)
        .Member("server_name", link.name)
        .Member("client_id", static_cast<uint64_t>(link.clientId))
        .Member("low_id", link.lowId)
        .Member("server_users", static_cast<uint64_t>(link.users))
        .Member("server_files", static_cast<uint64_t>(link.files))
        .Member("servers", static_cast<uint64_t>(serverRows.size()))
        .Member("network_users", users)
        .Member("network_files", files)
        .Member("downloads", static_cast<uint64_t>(downloadRows.size()))
        .Member("active_downloads", active)
        .Member("download_speed", speed)
        .Member("shared", static_cast<int64_t>(sharedCount))
        .Member("uploaded", totals.uploaded)
        .Member("downloaded", totals.downloaded)
        .Member("upload_rate", totals.uploadRate)
        .Member("download_rate", totals.downloadRate)
        .EndObject();
    io_.out << json.Text() << "\n";
    return kExitOk;
  }
  io_.out << "user        " << ForTerminal(user) << "\n"
          << "ports       TCP " << static_cast<uint16_t>(tcp) << ", UDP "
          << static_cast<uint16_t>(udp) << "\n"
          << "server      " << ConnectionLine(link) << "\n"
          << "servers     " << serverRows.size() << " known, " << users << " users, " << files
          << " files\n"
          << "downloads   " << downloadRows.size() << " (" << active << " active), "
          << FormatSpeed(speed) << "\n"
          << "shared      " << sharedCount << " files in " << ForTerminal(sharedPath) << "\n"
          << "transferred " << FormatSize(totals.uploaded) << " up ("
          << FormatSpeed(totals.uploadRate) << "), " << FormatSize(totals.downloaded) << " down ("
          << FormatSpeed(totals.downloadRate) << ")\n";
  return kExitOk;
}

int CTarnCommands::Servers(const SParsedArguments& args) {
  if (args.words.empty()) {
    std::shared_ptr<IP2PServerList> servers;
    if (!Succeeded(manager_->get_ServerList(&servers)) || !servers)
      return Fail(kExitFailed, "the daemon did not hand out its server list");
    std::vector<SServerRow> rows;
    if (const HRESULT hr = ListServers(*servers, rows); !Succeeded(hr))
      return Fail(kExitFailed, "the daemon did not list its servers (" + HResultText(hr) + ")");
    io_.out << (args.Has("--json") ? ServersJson(rows) : ServersTable(rows, Columns()));
    return kExitOk;
  }
  const std::string& verb = args.words[0];
  if ((verb != "add" && verb != "remove" && verb != "connect") || args.words.size() != 2)
    return Fail(kExitUsage, "servers: expected `servers [add|remove|connect] IP:PORT|LINK`");
  SServerTarget target;
  std::string error;
  if (!ReadServerTarget(args.words[1], target, error)) return Fail(kExitUsage, error);
  const auto connection = client_->ServerConnection();
  const std::string address = target.Text();
  HRESULT hr = E_FAIL;
  if (verb == "add") hr = connection->AddServer(address);
  if (verb == "remove") hr = connection->RemoveServer(address);
  if (verb == "connect") hr = connection->ConnectServer(address);
  if (hr == E_INVALIDARG)
    return Fail(kExitUsage, "servers " + verb + ": the daemon refused " + address);
  // The list holds one server per address: a server at another port is a different one.
  const std::string listed = ListedAddress(target.host);
  const bool otherPort = !listed.empty() && listed != address;
  if (otherPort && (hr == S_FALSE || !Succeeded(hr)))
    return Fail(kExitFailed, "servers " + verb + ": " + address +
                                 " is not listed; the list holds " + target.host + " as " + listed +
                                 " (one server per address)");
  if (!Succeeded(hr)) {
    const char* why = verb == "remove" ? " is not listed or is the server connected to"
                                       : " is not listed (tarn servers add it first)";
    return Fail(kExitFailed, "servers " + verb + ": " + address + why);
  }
  if (verb == "connect") {
    const auto wait = ReadSeconds(args.Value("--wait").value_or("10"));
    if (!wait) return Fail(kExitUsage, "servers: --wait needs a number of seconds");
    if (const int status = AwaitConnection(address, *wait); status != kExitOk) return status;
  }
  const std::string done = hr == S_FALSE      ? "already listed"
                           : verb == "add"    ? "added"
                           : verb == "remove" ? "removed"
                                              : "connected";
  if (args.Has("--json")) {
    CJsonWriter json;
    json.BeginObject().Member("address", address).Member("result", done).EndObject();
    io_.out << json.Text() << "\n";
  } else {
    io_.out << ForTerminal(address) << ": " << done << "\n";
  }
  return kExitOk;
}

std::string CTarnCommands::ListedAddress(const std::string& host) {
  std::shared_ptr<IP2PServerList> servers;
  if (!Succeeded(manager_->get_ServerList(&servers)) || !servers) return {};
  std::vector<SServerRow> rows;
  ListServers(*servers, rows);
  for (const auto& row : rows)
    if (row.address.compare(0, host.size() + 1, host + ":") == 0) return row.address;
  return {};
}

int CTarnCommands::AwaitConnection(const std::string& address, std::chrono::milliseconds wait) {
  const auto connection = client_->ServerConnection();
  SConnectionState state;
  if (!Succeeded(connection->GetConnectionState(&state)))
    return Fail(kExitFailed, "the daemon did not tell its server connection");
  // The old session ends first; a session after that with another server means ours failed.
  const std::string before = state.connected ? state.address : std::string();
  bool left = false;
  const auto end = Clock::now() + wait;
  for (;;) {
    if (state.connected && state.address == address) return kExitOk;
    left = left || !state.connected || state.address != before;
    if (left && state.connected)
      return Fail(kExitFailed, "servers connect: " + address + " did not take the connection; " +
                                   "connected to " + state.address + " instead");
    if (Clock::now() >= end || Interrupted())
      return Fail(kExitFailed, "servers connect: " + address + " did not answer in time; " +
                                   (state.connected ? "still connected to " + state.address
                                                    : std::string("not connected")));
    client_->Pump(std::chrono::milliseconds(100));
    if (!Succeeded(connection->GetConnectionState(&state)))
      return Fail(kExitFailed, "the daemon did not tell its server connection");
  }
}

int CTarnCommands::Search(const SParsedArguments& args) {
  if (args.words.empty()) return Fail(kExitUsage, "search: give the words to search for");
  std::string words;
  for (const auto& word : args.words) words += (words.empty() ? "" : " ") + word;
  const auto wait = ReadSeconds(args.Value("--wait").value_or("8"));
  if (!wait) return Fail(kExitUsage, "search: --wait needs a number of seconds");

  std::shared_ptr<IP2PSearchRequest> request;
  std::shared_ptr<IP2PSearchResultFileList> results;
  if (!Succeeded(manager_->get_SearchRequest(&request)) || !request ||
      !Succeeded(manager_->get_SearchResultFileList(&results)) || !results)
    return Fail(kExitFailed, "the daemon did not hand out a search");
  request->put_Keyword(words);
  if (const auto type = args.Value("--type")) {
    const auto word = SearchTypeWord(*type);
    if (!word)
      return Fail(kExitUsage, "search: unknown --type " + *type +
                                  " (Audio, Video, Image, Program, Document, Archive, Iso)");
    request->put_FileType(*word);
  }
  if (const auto ext = args.Value("--ext")) request->put_Extension(*ext);
  for (const auto& [option, setter] :
       {std::pair{"--min-size", &IP2PSearchRequest::put_MinSize64},
        std::pair{"--max-size", &IP2PSearchRequest::put_MaxSize64}}) {
    const auto text = args.Value(option);
    if (!text) continue;
    const auto size = ParseSize(*text);
    if (!size || *size > P2P::Protocol::kMaxFileSize)
      return Fail(kExitUsage, std::string("search: ") + option +
                                  " needs a size up to 256 GiB (700k, 1.5M, 4G)");
    // A daemon without the 64-bit bounds takes them up to 4 GiB - 1 only.
    if (!Succeeded((request.get()->*setter)(*size)))
      return Fail(kExitFailed, std::string("search: the daemon does not take ") + option + " " +
                                   *text + " (an older daemon takes sizes below 4 GiB)");
  }
  if (const auto text = args.Value("--sources")) {
    const auto sources = ReadKey(*text);
    if (!sources) return Fail(kExitUsage, "search: --sources needs a positive number");
    request->put_Availability(*sources);
  }

  SConnectionState link;
  if (!Succeeded(client_->ServerConnection()->GetConnectionState(&link)))
    return Fail(kExitFailed, "the daemon did not tell its server connection");
  if (!link.connected)
    return Fail(kExitFailed, "search: not connected to a server (tarn status tells more)");

  auto keys = std::make_shared<CResultKeys>();
  uint32_t cookie = 0;
  if (!Succeeded(results->Advise(keys, &cookie)))
    return Fail(kExitFailed, "the daemon refused the search events");
  const HRESULT started = request->Search();
  if (started == E_INVALIDARG) {
    results->Unadvise(cookie);
    std::string reason;
    request->get_LastError(&reason);
    return Fail(kExitUsage, "search: " + (reason.empty() ? "the daemon refused it" : reason));
  }
  if (!Succeeded(started))
    return Fail(kExitFailed, "the search did not start (" + HResultText(started) + ")");

  const bool json = args.Has("--json");
  std::vector<SResultRow> rows;
  const auto end = Clock::now() + *wait;
  auto lastNew = Clock::now();
  const auto quiet = std::chrono::seconds(2);
  while (Clock::now() < end && !Interrupted()) {
    client_->Pump(std::chrono::milliseconds(200));
    const auto fresh = keys->Take();
    for (const uint32_t key : fresh) {
      std::shared_ptr<IP2PSearchResultFile> file;
      if (!Succeeded(results->get_ItemByKey(static_cast<int32_t>(key), &file)) || !file) continue;
      rows.push_back(ReadResult(*file));
      if (!json) io_.out << ResultLine(rows.back()) << std::endl;
    }
    if (!fresh.empty()) lastNew = Clock::now();
    if (!rows.empty() && Clock::now() - lastNew >= quiet) break;
  }
  results->Unadvise(cookie);
  if (json) {
    io_.out << ResultsJson(rows);
  } else if (rows.empty()) {
    io_.out << "no results\n";
  }
  return kExitOk;
}

int CTarnCommands::Download(const SParsedArguments& args) {
  if (args.words.size() != 1) return Fail(kExitUsage, "download: give one link or result key");
  SDownloadTarget target;
  std::string error;
  if (!ReadDownloadTarget(args.words[0], target, error)) return Fail(kExitUsage, error);
  const OptionalText folder = args.Value("--to");
  OptionalText name = args.Value("--name");
  HRESULT hr = E_FAIL;
  std::string reason;
  if (target.link) {
    if (!name) name = target.link->name;
    const std::string hash = target.link->hash.ToHex();
    hr = manager_->AddDownload64(&hash, target.link->size, folder, name, &reason);
  } else {
    std::shared_ptr<IP2PSearchResultFileList> results;
    if (!Succeeded(manager_->get_SearchResultFileList(&results)) || !results)
      return Fail(kExitFailed, "the daemon did not hand out its search results");
    std::shared_ptr<IP2PSearchResultFile> file;
    if (!Succeeded(results->get_ItemByKey(target.resultKey, &file)) || !file)
      return Fail(kExitFailed, "no search result with key " + args.words[0]);
    hr = results->Download(target.resultKey, folder, name);
  }
  if (hr == S_FALSE) {
    io_.out << "already downloading or shared\n";
    return kExitOk;
  }
  if (hr == STG_E_MEDIUMFULL) {
    if (reason.empty()) reason = "not enough free space in the daemon's temp folder";
    return Fail(kExitFailed, "download: " + reason);
  }
  if (hr == E_ACCESSDENIED) {
    std::shared_ptr<IP2PConfig> config;
    std::string shared;
    if (Succeeded(manager_->get_Config(&config)) && config) config->get_SharedPath(&shared);
    return Fail(kExitFailed, "download: the daemon does not write to " + folder.value_or("") +
                                 "; it writes below its shared folder " + shared +
                                 ", its temp folder and the folders its configuration lists "
                                 "as \"Download Folders\"");
  }
  if (!Succeeded(hr))
    return Fail(kExitFailed, "the daemon refused the download (" + HResultText(hr) +
                                 (hr == E_INVALIDARG ? ": bad folder or name)" : ")"));
  io_.out << "download started\n";
  return kExitOk;
}

bool CTarnCommands::FollowDaemon(std::string& owner, bool& restarted) {
  restarted = false;
  std::string now = client_->NameOwner();
  if (now == owner) return true;
  const auto end = Clock::now() + kRestartWait;
  while (now.empty() && Clock::now() < end && !Interrupted()) {
    // A call starts the daemon again where the bus activates it.
    std::shared_ptr<IP2PConfig> config;
    manager_->get_Config(&config);
    client_->Pump(std::chrono::milliseconds(200));
    now = client_->NameOwner();
  }
  if (now.empty()) return false;
  owner = now;
  restarted = true;
  return true;
}

std::vector<std::string> CTarnCommands::GoneLines(const std::map<int32_t, SDownloadRow>& before,
                                                  const std::vector<SDownloadRow>& now, bool json) {
  std::set<int32_t> listed;
  for (const auto& row : now) listed.insert(row.key);
  std::vector<const SDownloadRow*> gone;
  for (const auto& [key, row] : before)
    if (listed.count(key) == 0) gone.push_back(&row);
  if (gone.empty()) return {};
  // A download that completed leaves its list for the shared files.
  std::set<std::string> sharedHashes;
  std::shared_ptr<IP2PSharedFileList> shared;
  std::vector<SSharedRow> sharedRows;
  if (Succeeded(manager_->get_SharedFileList(&shared)) && shared &&
      Succeeded(ListShared(*shared, sharedRows)))
    for (const auto& row : sharedRows) sharedHashes.insert(row.hash);
  std::vector<std::string> lines;
  for (const SDownloadRow* row : gone) {
    const bool complete = sharedHashes.count(row->hash) != 0;
    if (json) {
      CJsonWriter writer;
      writer.BeginObject()
          .Member("key", static_cast<int64_t>(row->key))
          .Member("name", row->name)
          .Member("hash", row->hash)
          .Member("state", std::string(complete ? "complete" : "removed"))
          .EndObject();
      lines.push_back(writer.Text());
    } else {
      lines.push_back(std::to_string(row->key) + " " + ForTerminal(row->name) +
                      (complete ? ": complete, now shared" : ": removed"));
    }
  }
  return lines;
}

int CTarnCommands::Downloads(const SParsedArguments& args) {
  if (!args.words.empty()) return Fail(kExitUsage, "downloads takes no arguments");
  std::shared_ptr<IP2PDownloadFileList> list;
  if (!Succeeded(manager_->get_DownloadFileList(&list)) || !list)
    return Fail(kExitFailed, "the daemon did not hand out its download list");
  const bool json = args.Has("--json");
  std::vector<SDownloadRow> rows;
  if (!args.Has("--follow")) {
    if (const HRESULT hr = ListDownloads(*list, rows); !Succeeded(hr))
      return Fail(kExitFailed, "the daemon did not list its downloads (" + HResultText(hr) + ")");
    io_.out << (json ? DownloadsJson(rows) : DownloadsTable(rows, io_.terminal, Columns()));
    return kExitOk;
  }
  const auto span = ReadSeconds(args.Value("--for").value_or("86400"));
  if (!span) return Fail(kExitUsage, "downloads: --for needs a number of seconds");
  const auto end = Clock::now() + *span;
  std::map<int32_t, std::string> shown;  // on a pipe: the last line printed per download
  std::map<int32_t, SDownloadRow> before;
  std::string owner = client_->NameOwner();
  // Without the events only what two looks see is reported.
  auto removed = std::make_shared<CRemovedKeys>();
  uint32_t cookie = 0;
  list->Advise(removed, &cookie);
  size_t drawnLines = 0;
  while (!Interrupted()) {
    bool restarted = false;
    if (!FollowDaemon(owner, restarted))
      return Fail(kExitUnreachable, "downloads: the daemon stopped");
    if (restarted) {
      if (!Succeeded(manager_->get_DownloadFileList(&list)) || !list)
        return Fail(kExitFailed, "the daemon did not hand out its download list");
      list->Advise(removed, &cookie);
    }
    if (const HRESULT hr = ListDownloads(*list, rows); !Succeeded(hr))
      return Fail(kExitFailed, "the daemon did not list its downloads (" + HResultText(hr) + ")");
    AddDownloadsSeenOnlyGoing(*list, removed->Take(), before);
    const auto gone = GoneLines(before, rows, json);
    before.clear();
    for (const auto& row : rows) before[row.key] = row;
    if (io_.terminal && !json) {
      // Back over the previous drawing; the lines about finished downloads stay above the
      // list drawn again.
      if (drawnLines > 0) io_.out << "\033[" << drawnLines << "A\033[J";
      for (const auto& line : gone) io_.out << line << "\n";
      const std::string table = DownloadsTable(rows, true, Columns());
      io_.out << table << std::flush;
      drawnLines = static_cast<size_t>(std::count(table.begin(), table.end(), '\n'));
    } else {
      for (const auto& line : gone) io_.out << line << "\n";
      for (const auto& row : rows) {
        const std::string line = json ? DownloadsJson({row}) : DownloadLine(row, false) + "\n";
        if (shown[row.key] == line) continue;
        shown[row.key] = line;
        io_.out << line;
      }
      io_.out << std::flush;
    }
    if (Clock::now() >= end) break;
    client_->Pump(std::min<std::chrono::milliseconds>(
        std::chrono::milliseconds(1000),
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now())));
  }
  return kExitOk;
}

int CTarnCommands::Control(const std::string& verb, const SParsedArguments& args) {
  if (args.words.size() != 1) return Fail(kExitUsage, verb + ": give one download key");
  const auto key = ReadKey(args.words[0]);
  if (!key) return Fail(kExitUsage, verb + ": \"" + args.words[0] + "\" is not a key");
  std::shared_ptr<IP2PDownloadFileList> list;
  if (!Succeeded(manager_->get_DownloadFileList(&list)) || !list)
    return Fail(kExitFailed, "the daemon did not hand out its download list");
  std::shared_ptr<IP2PDownloadFile> file;
  if (!Succeeded(list->get_ItemByKey(*key, &file)) || !file)
    return Fail(kExitFailed, "no download with key " + args.words[0]);
  HRESULT hr = E_FAIL;
  if (verb == "pause") hr = file->Pause();
  if (verb == "stop") hr = file->Stop();
  if (verb == "resume") hr = file->Resume();
  if (verb == "cancel") hr = file->Cancel();
  if (!Succeeded(hr))
    return Fail(kExitFailed, verb + " " + args.words[0] + " refused (" + HResultText(hr) + ")");
  return kExitOk;
}

int CTarnCommands::Shared(const SParsedArguments& args) {
  if (!args.words.empty()) return Fail(kExitUsage, "shared takes no arguments");
  std::shared_ptr<IP2PSharedFileList> list;
  if (!Succeeded(manager_->get_SharedFileList(&list)) || !list)
    return Fail(kExitFailed, "the daemon did not hand out its shared files");
  std::vector<SSharedRow> rows;
  if (const HRESULT hr = ListShared(*list, rows); !Succeeded(hr))
    return Fail(kExitFailed, "the daemon did not list its shared files (" + HResultText(hr) + ")");
  io_.out << (args.Has("--json") ? SharedJson(rows) : SharedTable(rows, Columns()));
  return kExitOk;
}

int CTarnCommands::Uploads(const SParsedArguments& args) {
  if (!args.words.empty()) return Fail(kExitUsage, "uploads takes no arguments");
  std::vector<OSTREL::COM::SUploadQueueEntry> rows;
  if (!Succeeded(client_->ServerConnection()->GetUploadQueue(&rows)))
    return Fail(kExitFailed, "the daemon did not tell its upload queue");
  io_.out << (args.Has("--json") ? UploadsJson(rows) : UploadsTable(rows, Columns()));
  return kExitOk;
}

int CTarnCommands::Config(const SParsedArguments& args) {
  std::shared_ptr<IP2PConfig> config;
  if (!Succeeded(manager_->get_Config(&config)) || !config)
    return Fail(kExitFailed, "the daemon did not hand out its settings");
  const auto text = [&](HRESULT (IP2PConfig::*getter)(std::string*)) {
    std::string value;
    (config.get()->*getter)(&value);
    return value;
  };
  const auto port = [&](HRESULT (IP2PConfig::*getter)(int16_t*)) {
    int16_t value = 0;
    (config.get()->*getter)(&value);
    return std::to_string(static_cast<uint16_t>(value));
  };
  const std::vector<std::pair<std::string, std::string>> settings{
      {"UserName", text(&IP2PConfig::get_UserName)},
      {"TCPPort", port(&IP2PConfig::get_TCPPort)},
      {"UDPPort", port(&IP2PConfig::get_UDPPort)},
      {"ConfigPath", text(&IP2PConfig::get_ConfigPath)},
      {"TempPath", text(&IP2PConfig::get_TempPath)},
      {"SharedPath", text(&IP2PConfig::get_SharedPath)}};

  if (args.words.size() > 2) return Fail(kExitUsage, "config: expected [NAME [VALUE]]");
  const bool json = args.Has("--json");
  if (args.words.empty()) {
    CJsonWriter writer;
    writer.BeginObject();
    for (const auto& [name, value] : settings) {
      if (json) writer.Member(name, value);
      else
        io_.out << name << std::string(12 - name.size(), ' ') << ForTerminal(value) << "\n";
    }
    if (json) io_.out << writer.EndObject().Text() << "\n";
    return kExitOk;
  }
  const std::string& name = args.words[0];
  const auto found = std::find_if(settings.begin(), settings.end(),
                                  [&](const auto& setting) { return setting.first == name; });
  if (found == settings.end())
    return Fail(kExitUsage, "config: no setting \"" + name + "\" (see tarn config --help)");
  if (args.words.size() == 1) {
    if (json) {
      CJsonWriter writer;
      io_.out << writer.BeginObject().Member(name, found->second).EndObject().Text() << "\n";
    } else {
      io_.out << ForTerminal(found->second) << "\n";
    }
    return kExitOk;
  }
  const std::string& value = args.words[1];
  HRESULT hr = E_FAIL;
  std::string note;
  if (name == "UserName") {
    if (value.find_first_not_of(" \t") == std::string::npos)
      return Fail(kExitUsage, "config: UserName cannot be empty");
    hr = config->put_UserName(value);
  } else if (name == "TCPPort" || name == "UDPPort") {
    int64_t number = 0;
    const auto [end, code] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (code == std::errc::result_out_of_range ||
        (code == std::errc() && end == value.data() + value.size() &&
         (number < 1 || number > 65535)))
      return Fail(kExitUsage, "config: " + name + " " + value + " is out of range (1 to 65535)");
    if (code != std::errc() || end != value.data() + value.size())
      return Fail(kExitUsage, "config: " + name + " needs a port number from 1 to 65535");
    const auto port = static_cast<int16_t>(static_cast<uint16_t>(number));
    hr = name == "TCPPort" ? config->put_TCPPort(port) : config->put_UDPPort(port);
    // The engine binds its ports when it starts; the new one is saved for then.
    if (value != found->second)
      note = name + " " + value + " is saved; the daemon listens on it from its next start\n";
  } else {
    return Fail(kExitUsage, "config: " + name + " cannot be changed");
  }
  if (hr == E_INVALIDARG)
    return Fail(kExitUsage, "config: the daemon refused " + name + " " + value);
  if (!Succeeded(hr))
    return Fail(kExitFailed, "config: the daemon refused " + name + " (" + HResultText(hr) + ")");
  io_.out << note;
  return kExitOk;
}

int CTarnCommands::Watch(const SParsedArguments& args) {
  if (!args.words.empty()) return Fail(kExitUsage, "watch takes no arguments");
  const auto span = ReadSeconds(args.Value("--for").value_or("86400"));
  if (!span) return Fail(kExitUsage, "watch: --for needs a number of seconds");
  const bool json = args.Has("--json");
  auto serverLines = std::make_shared<CEventLines>("server", json);
  auto downloadLines = std::make_shared<CEventLines>("download", json);
  auto sharedLines = std::make_shared<CEventLines>("shared", json);
  auto resultLines = std::make_shared<CEventLines>("result", json);
  // The lists of the daemon answering now, advised; again after a restart.
  std::shared_ptr<IP2PServerList> servers;
  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PSharedFileList> shared;
  std::shared_ptr<IP2PSearchResultFileList> results;
  const auto subscribe = [&] {
    uint32_t cookie = 0;
    return Succeeded(manager_->get_ServerList(&servers)) &&
           Succeeded(manager_->get_DownloadFileList(&downloads)) &&
           Succeeded(manager_->get_SharedFileList(&shared)) &&
           Succeeded(manager_->get_SearchResultFileList(&results)) &&
           Succeeded(servers->Advise(serverLines, &cookie)) &&
           Succeeded(downloads->Advise(downloadLines, &cookie)) &&
           Succeeded(shared->Advise(sharedLines, &cookie)) &&
           Succeeded(results->Advise(resultLines, &cookie));
  };
  std::string owner = client_->NameOwner();
  if (!subscribe()) return Fail(kExitFailed, "the daemon refused the events");
  io_.out << (json ? "" : "watching; Ctrl-C ends\n") << std::flush;
  const auto end = Clock::now() + *span;
  auto nextCheck = Clock::now();
  while (!Interrupted() && Clock::now() < end) {
    client_->Pump(std::chrono::milliseconds(200));
    for (auto* sink : {serverLines.get(), downloadLines.get(), sharedLines.get(), resultLines.get()})
      for (const auto& line : sink->Take()) io_.out << (json ? line : ForTerminal(line)) << "\n";
    io_.out.flush();
    if (Clock::now() < nextCheck) continue;
    nextCheck = Clock::now() + std::chrono::seconds(1);
    bool restarted = false;
    if (!FollowDaemon(owner, restarted)) return Fail(kExitUnreachable, "watch: the daemon stopped");
    if (!restarted) continue;
    if (!subscribe()) return Fail(kExitFailed, "the restarted daemon refused the events");
    io_.out << (json ? R"({"subject":"daemon","event":"restarted"})" : "daemon restarted") << "\n"
            << std::flush;
  }
  return kExitOk;
}

}  // namespace tarn::cli
