#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/service/host/FakeNotifySocket.h"
#include "tests/support/Sandbox.h"
#include "tests/support/WaitUntil.h"

extern char** environ;

namespace {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::RegRoot;

constexpr const char* kProductKey = "Software\\Ostrel\\TARN";

// The daemon as a child process with its stdout on a pipe.
class Daemon {
 public:
  explicit Daemon(std::vector<std::string> args = {}) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(TARNSVC_PATH)};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, TARNSVC_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    output_ = fds[0];
  }
  ~Daemon() {
    if (pid_ > 0 && !exitStatus_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) ::close(output_);
  }

  bool Started() const { return pid_ > 0; }
  void Signal(int signal) const { ::kill(pid_, signal); }

  // Reads the daemon's output until `text` appears or the deadline passes.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (seen_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{output_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[512];
      const ssize_t got = ::read(output_, buffer, sizeof buffer);
      if (got <= 0) return false;
      seen_.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }

  // The exit status once the process has ended within the deadline.
  std::optional<int> WaitForExit(std::chrono::milliseconds deadline) {
    tarn::test::WaitUntil(
        [&] {
          int status = 0;
          if (::waitpid(pid_, &status, WNOHANG) == pid_) exitStatus_ = status;
          return exitStatus_.has_value();
        },
        deadline);
    return exitStatus_;
  }

  const std::string& Output() const { return seen_; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string seen_;
  std::optional<int> exitStatus_;
};

class TarnsvcTest : public ::testing::Test {
 protected:
  // The daemons of these tests never reach a real message bus.
  TarnsvcTest() { ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tarn-test-bus", 1); }

  std::filesystem::path HiveFile() const { return sandbox_ / "config/HKEY_LOCAL_MACHINE.reg"; }
  tarn::test::Sandbox sandbox_;
};

TEST_F(TarnsvcTest, StopsCleanlyOnSignalsAndSavesTheConfiguration) {
  for (const int signal : {SIGTERM, SIGINT}) {
    Daemon daemon;
    ASSERT_TRUE(daemon.Started());
    ASSERT_TRUE(daemon.WaitForOutput("started", std::chrono::seconds(20))) << daemon.Output();
    const auto hash =
        CRegistry(sandbox_ / "config").QueryValue(RegRoot::kLocalMachine, kProductKey, "User Hash");
    ASSERT_TRUE(hash.has_value());
    // Removed while running: only the save at stop can bring it back.
    std::filesystem::remove(HiveFile());

    daemon.Signal(signal);
    const auto status = daemon.WaitForExit(std::chrono::seconds(20));
    ASSERT_TRUE(status.has_value()) << "no exit after signal " << signal;
    ASSERT_TRUE(WIFEXITED(*status)) << "killed by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_TRUE(daemon.WaitForOutput("stopped", std::chrono::seconds(1)));
    EXPECT_EQ(
        CRegistry(sandbox_ / "config").QueryValue(RegRoot::kLocalMachine, kProductKey, "User Hash"),
        hash);
  }
}

TEST_F(TarnsvcTest, HelpPrintsUsageAndOtherWordsLaunch) {
  Daemon help({"--help"});
  EXPECT_TRUE(help.WaitForOutput("Usage:", std::chrono::seconds(10)));
  EXPECT_EQ(help.WaitForExit(std::chrono::seconds(10)), 0);
  EXPECT_FALSE(std::filesystem::exists(HiveFile()));

  // The activation switch a launcher may add is no registration switch: the server runs.
  Daemon embedded({"-Embedding"});
  ASSERT_TRUE(embedded.WaitForOutput("Service started", std::chrono::seconds(20)))
      << embedded.Output();
  embedded.Signal(SIGTERM);
  EXPECT_TRUE(embedded.WaitForExit(std::chrono::seconds(20)).has_value());
}

TEST_F(TarnsvcTest, RegistersRunsUnderSystemdAndUnregisters) {
  ::setenv("XDG_CONFIG_HOME", (sandbox_ / "xdgconfig").c_str(), 1);
  const auto activation = sandbox_ / "data/dbus-1/services/com.ostrel.TarnSvc.service";
  const auto unit = sandbox_ / "xdgconfig/systemd/user/tarnsvc.service";
  const auto appId = "AppID\\{276AB714-29A9-4934-BFB3-7AFAF9C28768}";

  Daemon registration({"/SERVICE"});
  ASSERT_EQ(registration.WaitForExit(std::chrono::seconds(20)), 0);
  EXPECT_TRUE(std::filesystem::exists(activation));
  EXPECT_TRUE(std::filesystem::exists(unit));
  EXPECT_TRUE(CRegistry(sandbox_ / "config")
                  .QueryValue(RegRoot::kClassesRoot, appId, "LocalService")
                  .has_value());

  {
    tarn::test::FakeNotifySocket notify(sandbox_ / "notify");
    ASSERT_TRUE(notify.Bound());
    ::setenv("NOTIFY_SOCKET", (sandbox_ / "notify").c_str(), 1);
    Daemon service;
    ::unsetenv("NOTIFY_SOCKET");
    ASSERT_TRUE(service.Started());
    EXPECT_EQ(notify.ReceiveContaining("READY=1", std::chrono::seconds(20)),
              "READY=1\nSTATUS=Running");
    service.Signal(SIGTERM);
    EXPECT_EQ(notify.ReceiveContaining("STOPPING=1", std::chrono::seconds(20)),
              "STOPPING=1\nSTATUS=Stopping");
    EXPECT_EQ(service.WaitForExit(std::chrono::seconds(20)), 0);
    // As a service the log goes to the journal, not to standard output.
    EXPECT_EQ(service.Output().find("Service started"), std::string::npos);
  }

  Daemon unregistration({"-unregserver"});
  ASSERT_EQ(unregistration.WaitForExit(std::chrono::seconds(20)), 0);
  EXPECT_FALSE(std::filesystem::exists(activation));
  EXPECT_FALSE(std::filesystem::exists(unit));
  EXPECT_FALSE(CRegistry(sandbox_ / "config").KeyExists(RegRoot::kClassesRoot, appId));
  ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(TarnsvcTest, ServiceRegistrationWithoutSystemdRunsAsLocalServer) {
  ::setenv("XDG_CONFIG_HOME", (sandbox_ / "xdgconfig").c_str(), 1);
  Daemon registration({"-Service"});
  ASSERT_EQ(registration.WaitForExit(std::chrono::seconds(20)), 0);
  ::unsetenv("NOTIFY_SOCKET");
  Daemon local;
  EXPECT_TRUE(local.WaitForOutput("Service started", std::chrono::seconds(20))) << local.Output();
  local.Signal(SIGTERM);
  EXPECT_EQ(local.WaitForExit(std::chrono::seconds(20)), 0);
  EXPECT_TRUE(local.WaitForOutput("Service stopped", std::chrono::seconds(1)));
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
