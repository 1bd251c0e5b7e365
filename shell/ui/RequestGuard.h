// Who may talk to the page's server: only the browser that opened the address tarnshell
// printed. The per-launch token in that address becomes an HttpOnly, SameSite=Strict cookie;
// every later request must carry it, name the loopback address and port as its Host, and come
// from no foreign Origin. Pure decisions over a request's parts; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::shell::ui {

inline constexpr std::string_view kTokenCookie = "tarn_ui";
inline constexpr std::string_view kTokenParameter = "t";

// 256 random bits from the kernel, as hexadecimal text; empty when none could be had.
std::string NewToken();

// Equal texts, compared in a time that does not depend on where they differ.
bool SameSecret(std::string_view a, std::string_view b);

struct SRequestFacts {
  std::string method;                         // "GET", "POST", ...
  std::string host;                           // the Host header
  std::optional<std::string> origin;          // the Origin header, when sent
  std::string cookieHeader;                   // the Cookie header, possibly empty
  std::optional<std::string> tokenParameter;  // "t" of the query, when given
};

enum class EVerdict {
  kAllow,
  kAdmitAndRedirect,  // the token of the address: set the cookie, send the browser to "/"
  kForbid,
};

class CRequestGuard {
 public:
  CRequestGuard(std::string token, uint16_t port);

  EVerdict Judge(const SRequestFacts& request) const;

  // The Set-Cookie header value that admits the browser.
  std::string AdmissionCookie() const;
  // "http://127.0.0.1:PORT/?t=TOKEN": the address to open.
  std::string Address() const;
  const std::string& Origin() const { return origin_; }

 private:
  bool HostIsOurs(std::string_view host) const;
  bool CarriesCookie(std::string_view cookieHeader) const;

  std::string token_;
  std::string hostAndPort_;  // "127.0.0.1:PORT"
  std::string origin_;       // "http://127.0.0.1:PORT"
};

// The value of cookie `name` in a Cookie header; empty when absent.
std::string CookieValue(std::string_view cookieHeader, std::string_view name);

}  // namespace tarn::shell::ui
