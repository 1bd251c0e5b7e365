#include "shell/ui/UiApi.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "framework/JsonWriter.h"
#include "shell/ShellStrings.h"
#include "shell/ui/CellFormat.h"
#include "shell/ui/ContextMenus.h"
#include "shell/ui/FolderTree.h"
#include "shell/ui/InfoTip.h"
#include "shell/ui/ProductInfo.h"
#include "shell/ui/PropertySheet.h"

namespace tarn::shell::ui {
namespace {

using OSTREL::Util::CJsonWriter;

constexpr uint32_t kDefaultWindow = 200;
constexpr uint32_t kMaxWindow = 2000;
constexpr size_t kMaxNameBytes = 1024;
constexpr const char* kNeverAgain = "&In the future, do not show me this dialog box";

std::string Param(const Parameters& p, const std::string& name) {
  const auto found = p.find(name);
  return found == p.end() ? std::string() : found->second;
}

std::optional<uint32_t> Number(const std::string& text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<uint32_t> NumberParam(const Parameters& p, const std::string& name) {
  return Number(Param(p, name));
}

// "1,2,3": the keys chosen on the page; anything that is not a number is left out.
std::vector<uint32_t> Keys(const Parameters& p) {
  std::vector<uint32_t> keys;
  std::istringstream list(Param(p, "keys"));
  for (std::string item; std::getline(list, item, ',');)
    if (const auto key = Number(item)) keys.push_back(*key);
  return keys;
}

SApiAnswer Json(const CJsonWriter& json) { return {200, json.Text()}; }

SApiAnswer Error(int status, std::string_view message) {
  CJsonWriter json;
  json.BeginObject().Member("error", message).EndObject();
  return {status, json.Text()};
}

std::string_view FolderTitle(EFolder folder) { return ShellString(NamesOf(folder).titleId); }

std::string_view SearchStateName(ESearchState state) {
  switch (state) {
    case ESearchState::kSearching:
      return "searching";
    case ESearchState::kDone:
      return "done";
    case ESearchState::kIdle:
      break;
  }
  return "idle";
}

void WriteColumns(CJsonWriter& json, EFolder folder) {
  json.Key("columns").BeginArray();
  for (const SColumn& c : Columns(folder)) {
    json.BeginObject()
        .Member("title", ShellString(c.titleId))
        .Member("width", c.width)
        .Member("align", c.align == EAlign::kRight ? "right" : "left")
        .EndObject();
  }
  json.EndArray();
}

void WriteCells(CJsonWriter& json, const std::vector<std::string>& cells) {
  json.Key("cells").BeginArray();
  for (const std::string& cell : cells) json.String(cell);
  json.EndArray();
}

// What the page shows beside the cells: a download's progress bar and state.
void WriteExtras(CJsonWriter& json, const SDownloadRecord& d) {
  const uint64_t permille =
      d.size == 0 ? 0 : uint64_t{std::min(d.completedSize, d.size)} * 1000 / d.size;
  json.Member("progress", permille);
  json.Member("state", d.paused ? "paused" : (d.stopped ? "stopped" : "running"));
}
// A root child: the folder it opens.
void WriteExtras(CJsonWriter& json, const SRootChild& child) {
  json.Member("target", child.id == kIncomingId ? "incoming"
                        : child.id == kSharedId ? "shared"
                                                : std::string_view(child.id));
}
void WriteExtras(CJsonWriter&, const SSharedFileRecord&) {}
void WriteExtras(CJsonWriter&, const SSearchResultRecord&) {}

// A name to rename a file to: one plain component of a path, text only.
bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameBytes || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return c == '/' || c == '\\' || u < 0x20 || u == 0x7F;
  });
}

ESizeClass SizeClassOf(const std::string& name) {
  if (name == "small") return ESizeClass::kSmall;
  if (name == "medium") return ESizeClass::kMedium;
  if (name == "large") return ESizeClass::kLarge;
  if (name == "specified") return ESizeClass::kSpecified;
  return ESizeClass::kAny;
}

}  // namespace

CUiApi::CUiApi(IUiData& data, CEventHub& hub, OSTREL::Platform::CRegistry& registry)
    : data_(data), hub_(hub), registry_(registry), viewStates_(registry) {}

SApiAnswer CUiApi::Tree() {
  CJsonWriter json;
  json.BeginObject();
  json.Key("root")
      .BeginObject()
      .Member("name", "root")
      .Member("title", FolderTitle(EFolder::kRoot));
  json.Key("children").BeginArray();
  for (const SRootChild& child : RootChildren(registry_)) {
    const bool incoming = child.id == kIncomingId, shared = child.id == kSharedId;
    json.BeginObject()
        .Member("name", incoming ? "incoming" : (shared ? "shared" : child.id))
        .Member("title", child.text)
        .Member("comment", child.comment)
        .Member("builtIn", incoming || shared)
        .EndObject();
  }
  json.EndArray().EndObject();
  json.Key("results")
      .BeginObject()
      .Member("name", "results")
      .Member("title", FolderTitle(EFolder::kSearchResults))
      .EndObject();
  // The toolbar's texts: one string whose first character separates the fields.
  const std::string_view targets = ShellString(kStrSearchTargets);
  json.Key("toolbar").BeginArray();
  static constexpr const char* kCommands[] = {"incoming", "shared", "results", "search"};
  size_t at = 1, command = 0;
  while (command < std::size(kCommands) && at < targets.size()) {
    const size_t end = targets.find(targets[0], at);
    const std::string_view text = targets.substr(at, end - at);
    json.BeginObject().Member("command", kCommands[command]).Member("text", text).EndObject();
    ++command;
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  json.EndArray();
  json.Key("about").BeginArray();
  for (const SField& f : AboutFields())
    json.BeginObject().Member("label", f.label).Member("value", f.value).EndObject();
  json.EndArray();
  json.Member("aboutTitle", ShellString(kStrAbout));
  json.EndObject();
  return Json(json);
}

SApiAnswer CUiApi::Band() {
  CJsonWriter json;
  json.BeginObject().Key("types").BeginArray();
  for (const SFileTypeChoice& choice : FileTypeChoices())
    json.BeginObject()
        .Member("text", ShellString(choice.textId))
        .Member("type", choice.typeWord)
        .Member("icon", choice.iconOf)
        .EndObject();
  json.EndArray();
  json.Member("atLeast", ShellString(kStrAtLeast)).Member("atMost", ShellString(kStrAtMost));
  json.Member("button", ShellString(kStrSearchBand)).Member("title", "P2P Search");
  json.EndObject();
  return Json(json);
}

std::shared_ptr<const std::vector<uint32_t>> CUiApi::OrderOf(
    EFolder folder, const void* snapshot, int column, bool descending,
    const std::function<std::vector<uint32_t>()>& sort) {
  {
    OSTREL::Process::CLock guard(lock_);
    const SSortCache& cached = sortCache_[folder];
    if (cached.snapshot == snapshot && cached.column == column && cached.descending == descending)
      return cached.order;
  }
  // Sorted outside the lock: a slow sort of one folder holds up no other request.
  auto order = std::make_shared<const std::vector<uint32_t>>(sort());
  OSTREL::Process::CLock guard(lock_);
  sortCache_[folder] = {snapshot, column, descending, order};
  return order;
}

template <typename Record>
SApiAnswer CUiApi::ListFolder(EFolder folder, const Snapshot<Record>& records,
                              const Parameters& p) {
  const SViewState stored = viewStates_.Load(folder);
  const int columns = static_cast<int>(Columns(folder).size());
  const int column = static_cast<int>(NumberParam(p, "sort").value_or(stored.sortColumn));
  const bool descending = p.count("desc") ? Param(p, "desc") == "1" : stored.descending;
  const int sortColumn = column < columns ? column : 0;
  const std::span<const Record> items =
      records ? std::span<const Record>(*records) : std::span<const Record>();
  const auto order = OrderOf(folder, records.get(), sortColumn, descending,
                             [&] { return SortOrder(items, sortColumn, descending); });
  const uint32_t total = static_cast<uint32_t>(items.size());
  const uint32_t offset = std::min(NumberParam(p, "offset").value_or(0), total);
  const uint32_t count = std::min(NumberParam(p, "count").value_or(kDefaultWindow), kMaxWindow);
  const uint32_t end = std::min(total, offset + count);

  CJsonWriter json;
  json.BeginObject()
      .Member("folder", NamesOf(folder).name)
      .Member("title", FolderTitle(folder))
      .Member("reachable", data_.DaemonReachable());
  WriteColumns(json, folder);
  json.Member("sort", sortColumn).Member("desc", descending);
  json.Key("widths").BeginArray();
  for (int width : stored.widths) json.Number(width);
  json.EndArray();
  json.Member("total", total).Member("offset", offset);
  json.Key("rows").BeginArray();
  for (uint32_t i = offset; i < end && order && i < order->size(); ++i) {
    const Record& record = items[(*order)[i]];
    json.BeginObject().Member("key", record.key);
    WriteCells(json, CellTexts(record));
    WriteExtras(json, record);
    json.EndObject();
  }
  json.EndArray().EndObject();
  return Json(json);
}

SApiAnswer CUiApi::Folder(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  if (!ref) return Error(404, "no such folder");
  if (!ref->childId.empty()) {
    // A child another program provides: it has no items of ours to show.
    return ListFolder<SRootChild>(EFolder::kRoot, std::make_shared<std::vector<SRootChild>>(), p);
  }
  switch (ref->folder) {
    case EFolder::kRoot: {
      auto children = RootChildren(registry_);
      // Fresh records on every call: the registry may have changed.
      return ListFolder<SRootChild>(
          EFolder::kRoot, std::make_shared<const std::vector<SRootChild>>(std::move(children)), p);
    }
    case EFolder::kIncoming:
      return ListFolder(EFolder::kIncoming, data_.Downloads(), p);
    case EFolder::kShared:
      return ListFolder(EFolder::kShared, data_.SharedFiles(), p);
    case EFolder::kSearchResults:
      return ListFolder(EFolder::kSearchResults, data_.Results(), p);
  }
  return Error(404, "no such folder");
}

SApiAnswer CUiApi::Menu(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  if (!ref) return Error(404, "no such folder");
  std::vector<SDownloadState> states;
  if (ref->folder == EFolder::kIncoming) {
    const auto downloads = data_.Downloads();
    for (uint32_t key : Keys(p)) {
      if (!downloads) break;
      const auto found = std::find_if(downloads->begin(), downloads->end(),
                                      [key](const auto& d) { return d.key == key; });
      if (found != downloads->end()) states.push_back({found->paused, found->stopped});
    }
  }
  CJsonWriter json;
  json.BeginObject().Key("entries").BeginArray();
  for (const SMenuEntry& entry : ContextMenu(ref->folder, states)) {
    json.BeginObject();
    if (entry.textId == 0) {
      json.Member("separator", true);
    } else {
      json.Member("text", ShellString(entry.textId))
          .Member("verb", entry.verb)
          .Member("default", entry.isDefault)
          .Member("enabled", entry.enabled);
    }
    json.EndObject();
  }
  json.EndArray().EndObject();
  return Json(json);
}

SApiAnswer CUiApi::Tip(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  const auto key = NumberParam(p, "key");
  if (!ref || !key) return Error(400, "folder and key needed");
  std::string text;
  if (ref->folder == EFolder::kRoot) {
    const auto children = RootChildren(registry_);
    if (*key >= children.size()) return Error(404, "no such item");
    text =
        children[*key].text + (children[*key].comment.empty() ? "" : "\n" + children[*key].comment);
  } else {
    const auto details = data_.Details(ref->folder, *key);
    if (!details) return Error(404, "no such item");
    text = InfoTip(*details);
  }
  CJsonWriter json;
  json.BeginObject().Member("text", text).EndObject();
  return Json(json);
}

SApiAnswer CUiApi::Properties(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  const auto key = NumberParam(p, "key");
  if (!ref || !key) return Error(400, "folder and key needed");
  std::vector<SPropertyPage> pages;
  if (ref->folder == EFolder::kRoot) {
    // A root child's properties are the about dialog.
    pages.push_back({.kind = EPageKind::kAbout, .title = "About", .fields = AboutFields()});
  } else {
    const auto details = data_.Details(ref->folder, *key);
    if (!details) return Error(404, "no such item");
    pages = PropertySheet(*details);
  }
  static constexpr const char* kKinds[] = {"general", "alternate", "summary", "about"};
  CJsonWriter json;
  json.BeginObject().Member("caption", ShellString(kStrProperties)).Member("key", *key);
  json.Member("property", ShellString(kStrProperty)).Member("value", ShellString(kStrValue));
  json.Key("pages").BeginArray();
  for (const SPropertyPage& page : pages) {
    json.BeginObject()
        .Member("kind", kKinds[static_cast<int>(page.kind)])
        .Member("title", page.title);
    json.Key("fields").BeginArray();
    for (const SField& f : page.fields)
      json.BeginObject().Member("label", f.label).Member("value", f.value).EndObject();
    json.EndArray();
    if (page.progressPosition >= 0) {
      json.Key("progress").BeginObject().Member("position", page.progressPosition);
      json.Member("range", kProgressRange).Member("text", page.progressText).EndObject();
    }
    if (page.kind == EPageKind::kAlternate) {
      json.Member("prompt", page.prompt).Member("fileName", page.fileName);
      json.Key("names").BeginArray();
      for (const std::string& name : page.alternateNames) json.String(name);
      json.EndArray();
    }
    if (page.kind == EPageKind::kSummary) {
      json.Key("groups").BeginArray();
      for (const SFieldGroup& group : page.groups) {
        json.BeginObject().Member("name", group.name).Key("rows").BeginArray();
        for (const SField& f : group.rows)
          json.BeginObject().Member("label", f.label).Member("value", f.value).EndObject();
        json.EndArray().EndObject();
      }
      json.EndArray();
    }
    json.EndObject();
  }
  json.EndArray().EndObject();
  return Json(json);
}

SApiAnswer CUiApi::ViewState(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  if (!ref) return Error(404, "no such folder");
  const SViewState state = viewStates_.Load(ref->folder);
  CJsonWriter json;
  json.BeginObject().Member("sort", state.sortColumn).Member("desc", state.descending);
  json.Key("widths").BeginArray();
  for (int width : state.widths) json.Number(width);
  json.EndArray().EndObject();
  return Json(json);
}

SApiAnswer CUiApi::SaveViewState(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  if (!ref || !ref->childId.empty()) return Error(404, "no such folder");
  SViewState state;
  state.sortColumn = static_cast<int>(NumberParam(p, "sort").value_or(0));
  state.descending = Param(p, "desc") == "1";
  std::istringstream list(Param(p, "widths"));
  for (std::string item; std::getline(list, item, ',');)
    if (const auto width = Number(item))
      state.widths.push_back(static_cast<int>(std::min(*width, 1000u)));
  if (!viewStates_.Save(ref->folder, state)) return Error(400, "not a view of this folder");
  return Json(CJsonWriter().BeginObject().Member("saved", true).EndObject());
}

SApiAnswer CUiApi::RunVerb(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  const std::string verb = Param(p, "verb");
  if (!ref) return Error(404, "no such folder");
  uint32_t done = 0, failed = 0;
  const auto tally = [&](bool ok) { ++(ok ? done : failed); };
  for (uint32_t key : Keys(p)) {
    using OSTREL::COM::Succeeded;
    if (ref->folder == EFolder::kIncoming) {
      static const std::map<std::string, EDownloadVerb> kVerbs = {
          {"pause", EDownloadVerb::kPause},
          {"stop", EDownloadVerb::kStop},
          {"resume", EDownloadVerb::kResume},
          {"cancel", EDownloadVerb::kCancel}};
      const auto found = kVerbs.find(verb);
      if (found == kVerbs.end()) return Error(400, "no such verb");
      tally(Succeeded(data_.Verb(key, found->second)));
    } else if (ref->folder == EFolder::kSearchResults && verb == "download") {
      // S_FALSE: already downloading or already ours; not a failure to report.
      tally(Succeeded(data_.Download(key)));
    } else if (ref->folder == EFolder::kShared && verb == "open") {
      tally(data_.OpenSharedFile(key));
    } else {
      return Error(400, "no such verb");
    }
  }
  CJsonWriter json;
  json.BeginObject().Member("done", done).Member("failed", failed).EndObject();
  return Json(json);
}

SApiAnswer CUiApi::Rename(const Parameters& p) {
  const auto ref = ParseFolderName(Param(p, "f"));
  const auto key = NumberParam(p, "key");
  const std::string name = Param(p, "name");
  if (!ref || !key || (ref->folder != EFolder::kIncoming && ref->folder != EFolder::kShared))
    return Error(400, "only downloads and shared files are renamed");
  // The name becomes the last component of a path: nothing that could leave the folder.
  if (!IsPlainFileName(name))
    return Error(400, "a file name without slashes or control characters");
  const bool ok = OSTREL::COM::Succeeded(data_.Rename(ref->folder, *key, name));
  CJsonWriter json;
  json.BeginObject().Member("renamed", ok).EndObject();
  return Json(json);
}

SApiAnswer CUiApi::Search(const Parameters& p) {
  SSearchForm form;
  form.keyword = Param(p, "keyword");
  form.typeIndex = static_cast<int>(NumberParam(p, "type").value_or(0));
  form.sizeClass = SizeClassOf(Param(p, "size"));
  form.atMost = Param(p, "mode") == "most";
  form.sizeMb = Param(p, "mb");
  const SSearchTerms terms = TermsOf(form);
  // The daemon starts no search without a keyword; say so instead of nothing at all.
  if (terms.keyword.empty()) return Error(400, "Type all or part of the file name first.");
  const bool sent = OSTREL::COM::Succeeded(data_.Search(terms));
  CJsonWriter json;
  json.BeginObject().Member("sent", sent).EndObject();
  return Json(json);
}

SApiAnswer CUiApi::AddLink(const Parameters& p) {
  // A drop may carry several links, one a line.
  std::istringstream lines(Param(p, "link"));
  CJsonWriter json;
  json.BeginObject().Key("links").BeginArray();
  size_t count = 0;
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    line.erase(0, line.find_first_not_of(' '));
    if (line.empty()) continue;
    if (++count > 100) break;
    const SLinkOutcome outcome = data_.AddLink(line);
    json.BeginObject()
        .Member("accepted", outcome.accepted)
        .Member("message", outcome.message)
        .EndObject();
  }
  json.EndArray().EndObject();
  if (count == 0) return Error(400, "Paste an ed2k:// link first.");
  return Json(json);
}

void CUiApi::QueueCompletionPrompt(const SDownloadRecord& completed) {
  {
    OSTREL::Process::CLock guard(lock_);
    prompts_.push_back({nextPromptId_++, completed.name, completed.fullPath});
  }
  hub_.Touch(EChannel::kPrompts);
}

SApiAnswer CUiApi::Prompts() {
  CJsonWriter json;
  json.BeginObject().Key("prompts").BeginArray();
  OSTREL::Process::CLock guard(lock_);
  for (const SPrompt& prompt : prompts_) {
    json.BeginObject()
        .Member("id", prompt.id)
        .Member("title", ShellString(kStrDownloadCompletedTitle))
        .Member("message", FormatShellString(kStrDownloadCompletedMessage, prompt.fileName))
        .Member("check", kNeverAgain)
        .EndObject();
  }
  json.EndArray().EndObject();
  return Json(json);
}

SApiAnswer CUiApi::AnswerPrompt(const Parameters& p) {
  const auto id = NumberParam(p, "id");
  std::optional<SPrompt> answered;
  {
    OSTREL::Process::CLock guard(lock_);
    const auto at = std::find_if(prompts_.begin(), prompts_.end(),
                                 [&](const SPrompt& prompt) { return id && prompt.id == *id; });
    if (at != prompts_.end()) {
      answered = *at;
      prompts_.erase(at);
    }
  }
  if (!answered) return Error(404, "no such prompt");
  hub_.Touch(EChannel::kPrompts);
  const bool opened = data_.AnswerCompletion(answered->fullPath, Param(p, "answer") == "ok",
                                             Param(p, "never") == "1");
  CJsonWriter json;
  json.BeginObject().Member("opened", opened).EndObject();
  return Json(json);
}

std::string CUiApi::StateJson() {
  const Versions versions = hub_.Current();
  const SStatusBar status = data_.Status();
  CJsonWriter json;
  json.BeginObject().Key("versions").BeginObject();
  for (size_t i = 0; i < kChannelCount; ++i)
    json.Member(ChannelName(static_cast<EChannel>(i)), versions[i]);
  json.EndObject();
  json.Member("reachable", data_.DaemonReachable());
  json.Member("search", SearchStateName(data_.SearchState()));
  json.Key("status")
      .BeginObject()
      .Member("connected", status.connected)
      .Member("server", status.serverName)
      .Member("address", status.serverAddress)
      .Member("id", status.connected ? (status.lowId ? "Low ID" : "High ID") : "")
      .Member("users", NumberText(status.users))
      .Member("files", NumberText(status.files))
      .Member("up", SizeText(status.uploadRate, 2) + "/s")
      .Member("down", SizeText(status.downloadRate, 2) + "/s")
      .EndObject();
  json.EndObject();
  return json.Text();
}

}  // namespace tarn::shell::ui
