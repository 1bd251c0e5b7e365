#include "shell/ui/UiServer.h"

#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tarn::shell::ui {
namespace {

using namespace std::chrono_literals;

// Between two messages of one event stream: however fast the changes come, a page gets at
// most four updates a second.
constexpr auto kStreamPause = 250ms;
constexpr auto kKeepAlive = 15s;
constexpr size_t kWorkerThreads = 16;
constexpr size_t kMaxBody = 64 * 1024;
constexpr size_t kMaxPageFile = 4 * 1024 * 1024;

// No script but the page's own files, no inline script or style, nothing from elsewhere.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; frame-src 'self'; frame-ancestors 'self'; base-uri 'none'; "
    "form-action 'self'";

std::string TypeOf(const std::filesystem::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".js") return "text/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".png") return "image/png";
  return "application/octet-stream";
}

void Answer(httplib::Response& res, const SApiAnswer& answer) {
  res.status = answer.status;
  res.set_content(answer.json, "application/json; charset=utf-8");
}

void Forbid(httplib::Response& res) {
  res.status = 403;
  res.set_content("Forbidden: open the address that tarnshell ui printed.\n",
                  "text/plain; charset=utf-8");
}

SRequestFacts FactsOf(const httplib::Request& req) {
  SRequestFacts facts;
  facts.method = req.method;
  facts.host = req.get_header_value("Host");
  if (req.has_header("Origin")) facts.origin = req.get_header_value("Origin");
  facts.cookieHeader = req.get_header_value("Cookie");
  if (req.has_param(std::string(kTokenParameter)))
    facts.tokenParameter = req.get_param_value(std::string(kTokenParameter));
  return facts;
}

}  // namespace

std::filesystem::path DefaultPageFolder() {
  if (const char* dir = std::getenv("TARN_UI_DIR"); dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "/usr/share/tarn/ui";
  const auto beside = program.parent_path() / "share/tarn/ui";
  if (std::filesystem::exists(beside / "index.html", error)) return beside;
  return program.parent_path().parent_path() / "share/tarn/ui";
}

CUiServer::CUiServer(CUiApi& api, CEventHub& hub, SUiServerOptions options)
    : api_(api), hub_(hub), options_(std::move(options)) {}

CUiServer::~CUiServer() { Stop(); }

bool CUiServer::LoadPage(std::string* error) {
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(options_.pageFolder, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) || it->file_size(ec) > kMaxPageFile) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    const std::string relative =
        std::filesystem::relative(it->path(), options_.pageFolder, ec).generic_string();
    files_[relative] = {content.str(), TypeOf(it->path())};
  }
  if (files_.count("index.html") == 0) {
    *error = "the page's files are missing from " + options_.pageFolder.string();
    return false;
  }
  return true;
}

bool CUiServer::Start(std::string* error) {
  if (server_) return true;
  if (!LoadPage(error)) return false;
  std::string token = options_.token.empty() ? NewToken() : options_.token;
  if (token.empty()) {
    *error = "no random token could be made";
    return false;
  }
  server_ = std::make_unique<httplib::Server>();
  server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server_->set_payload_max_length(kMaxBody);
  int port = options_.port;
  if (port == 0) {
    port = server_->bind_to_any_port("127.0.0.1");
  } else if (!server_->bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    *error = "cannot listen on 127.0.0.1:" + std::to_string(options_.port);
    server_.reset();
    return false;
  }
  port_ = static_cast<uint16_t>(port);
  guard_ = std::make_unique<CRequestGuard>(std::move(token), port_);
  Route();
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void CUiServer::Stop() {
  if (!server_) return;
  hub_.Close();  // event streams end first, so the workers can be joined
  server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

void CUiServer::Route() {
  httplib::Server& s = *server_;
  s.set_default_headers({{"Content-Security-Policy", kContentSecurityPolicy},
                         {"X-Content-Type-Options", "nosniff"},
                         {"X-Frame-Options", "SAMEORIGIN"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Cache-Control", "no-store"}});
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    switch (guard_->Judge(FactsOf(req))) {
      case EVerdict::kAllow:
        return httplib::Server::HandlerResponse::Unhandled;
      case EVerdict::kAdmitAndRedirect:
        // The token leaves the address bar and the history at once.
        res.set_header("Set-Cookie", guard_->AdmissionCookie());
        res.set_redirect("/", 303);
        return httplib::Server::HandlerResponse::Handled;
      case EVerdict::kForbid:
        break;
    }
    Forbid(res);
    return httplib::Server::HandlerResponse::Handled;
  });

  const auto file = [this](const std::string& path, httplib::Response& res) {
    const auto found = files_.find(path);
    if (found == files_.end()) {
      res.status = 404;
      res.set_content("Not found\n", "text/plain; charset=utf-8");
      return;
    }
    res.set_content(found->second.content, found->second.type);
  };
  s.Get("/", [file](const httplib::Request&, httplib::Response& res) { file("index.html", res); });
  s.Get(R"(/ui/([A-Za-z0-9_./-]+))",
        [file](const httplib::Request& req, httplib::Response& res) { file(req.matches[1], res); });

  const auto get = [&s](const char* path, auto call) {
    s.Get(path, [call](const httplib::Request& req, httplib::Response& res) {
      Answer(res, call(req.params));
    });
  };
  const auto post = [&s](const char* path, auto call) {
    s.Post(path, [call](const httplib::Request& req, httplib::Response& res) {
      Answer(res, call(req.params));
    });
  };
  get("/api/tree", [this](const Parameters&) { return api_.Tree(); });
  get("/api/band", [this](const Parameters&) { return api_.Band(); });
  get("/api/folder", [this](const Parameters& p) { return api_.Folder(p); });
  get("/api/menu", [this](const Parameters& p) { return api_.Menu(p); });
  get("/api/tip", [this](const Parameters& p) { return api_.Tip(p); });
  get("/api/props", [this](const Parameters& p) { return api_.Properties(p); });
  get("/api/viewstate", [this](const Parameters& p) { return api_.ViewState(p); });
  get("/api/prompts", [this](const Parameters&) { return api_.Prompts(); });
  get("/api/state", [this](const Parameters&) { return SApiAnswer{200, api_.StateJson()}; });
  post("/api/verb", [this](const Parameters& p) { return api_.RunVerb(p); });
  post("/api/rename", [this](const Parameters& p) { return api_.Rename(p); });
  post("/api/search", [this](const Parameters& p) { return api_.Search(p); });
  post("/api/link", [this](const Parameters& p) { return api_.AddLink(p); });
  post("/api/viewstate", [this](const Parameters& p) { return api_.SaveViewState(p); });
  post("/api/prompt", [this](const Parameters& p) { return api_.AnswerPrompt(p); });

  s.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
    auto seen = std::make_shared<std::optional<Versions>>();
    res.set_chunked_content_provider(
        "text/event-stream", [this, seen](size_t, httplib::DataSink& sink) {
          if (seen->has_value()) {
            if (!hub_.Rest(kStreamPause)) return false;
            if (!hub_.WaitForChange(**seen, kKeepAlive)) {
              if (hub_.Closed()) return false;
              static constexpr char kComment[] = ": still here\n\n";
              return sink.write(kComment, sizeof kComment - 1);
            }
          }
          *seen = hub_.Current();
          const std::string message = "data: " + api_.StateJson() + "\n\n";
          return sink.write(message.data(), message.size());
        });
  });
}

}  // namespace tarn::shell::ui
