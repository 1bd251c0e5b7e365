#include "shell/ui/RequestGuard.h"

#include <sys/random.h>

#include <array>

#include "framework/Hex.h"

namespace tarn::shell::ui {

std::string NewToken() {
  std::array<uint8_t, 32> bytes{};
  size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got <= 0) return {};
    filled += static_cast<size_t>(got);
  }
  return OSTREL::Util::BytesToHex(bytes);
}

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

std::string CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t end = header.find(';');
    std::string_view pair = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name)
      return std::string(pair.substr(equals + 1));
  }
  return {};
}

CRequestGuard::CRequestGuard(std::string token, uint16_t port)
    : token_(std::move(token)),
      hostAndPort_("127.0.0.1:" + std::to_string(port)),
      origin_("http://" + hostAndPort_) {}

EVerdict CRequestGuard::Judge(const SRequestFacts& request) const {
  // Without a token nothing is admitted, not even by an empty cookie.
  if (token_.empty() || !HostIsOurs(request.host)) return EVerdict::kForbid;
  if (request.origin && *request.origin != origin_) return EVerdict::kForbid;
  // A change of state needs a request the page itself made: browsers name the origin of
  // every POST.
  const bool safeMethod = request.method == "GET" || request.method == "HEAD";
  if (!safeMethod && !request.origin) return EVerdict::kForbid;
  if (CarriesCookie(request.cookieHeader)) return EVerdict::kAllow;
  if (safeMethod && request.tokenParameter && SameSecret(*request.tokenParameter, token_))
    return EVerdict::kAdmitAndRedirect;
  return EVerdict::kForbid;
}

std::string CRequestGuard::AdmissionCookie() const {
  return std::string(kTokenCookie) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string CRequestGuard::Address() const {
  return origin_ + "/?" + std::string(kTokenParameter) + "=" + token_;
}

bool CRequestGuard::HostIsOurs(std::string_view host) const { return host == hostAndPort_; }

bool CRequestGuard::CarriesCookie(std::string_view cookieHeader) const {
  return SameSecret(CookieValue(cookieHeader, kTokenCookie), token_);
}

}  // namespace tarn::shell::ui
