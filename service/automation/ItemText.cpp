#include "service/automation/ItemText.h"

#include <langinfo.h>

#include <ctime>
#include <string_view>

namespace OSTREL::COM {
namespace {

constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;
constexpr int64_t kTicksPerSecond = 10000000;

// The locale's time format without its seconds field.
std::string TimeFormatWithoutSeconds() {
  std::string format = nl_langinfo(T_FMT);
  for (const std::string_view seconds : {":%S", ".%S", "%S"}) {
    const size_t at = format.find(seconds);
    if (at != std::string::npos) format.erase(at, seconds.size());
  }
  if (format.find("%T") != std::string::npos) format.replace(format.find("%T"), 2, "%H:%M");
  if (format.empty()) format = "%H:%M";
  return format;
}

}  // namespace

std::string FileTimeText(int64_t fileTime) {
  if (fileTime <= 0) return {};
  const time_t seconds = static_cast<time_t>((fileTime - kUnixEpochAsFileTime) / kTicksPerSecond);
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  const std::string format = "%x " + TimeFormatWithoutSeconds();
  char buffer[260];
  const size_t written = std::strftime(buffer, sizeof buffer, format.c_str(), &local);
  return std::string(buffer, written);
}

}  // namespace OSTREL::COM
