#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "engine/core/ClientConfigStore.h"
#include "platform/Registry.h"
#include "service/client/ApiClient.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

extern char** environ;

namespace tarn::test {
namespace {

using namespace OSTREL::COM;

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int RunToEnd(std::vector<std::string> args) {
  const pid_t pid = Spawn(std::move(args));
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool NameHasOwner(sdbus::IConnection& connection, const std::string& name) {
  auto daemon = sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
  bool owned = false;
  daemon->callMethod("NameHasOwner").onInterface("org.freedesktop.DBus").withArguments(name)
      .storeResultsTo(owned);
  return owned;
}

// Whether a Unix socket takes connections. Probed before the D-Bus library connects: a
// connection attempt of the library that fails leaves its bus object unfreed.
bool Accepts(const std::filesystem::path& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.native().size() >= sizeof address.sun_path) return false;
  std::strcpy(address.sun_path, socketPath.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool accepted =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

// A bus of the test's own whose service folder is the sandbox's, so the activation file
// that registration writes is the one the bus reads.
class PrivateBus {
 public:
  explicit PrivateBus(const Sandbox& sandbox) : address_("unix:path=" + (sandbox / "bus").string()) {
    const auto config = sandbox / "bus.conf";
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>" << address_ << "</listen>"
        << "<servicedir>" << (sandbox / "data/dbus-1/services").string() << "</servicedir>"
        << "<auth>EXTERNAL</auth><policy context=\"default\">"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
           "<allow own=\"*\"/></policy></busconfig>\n";
    const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (old != nullptr) saved_ = old;
    // The activated daemon inherits this and finds the bus by it.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    pid_ = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + config.string(), "--nofork",
                  "--nopidfile"});
    // Its socket appears before it listens.
    WaitUntil([&] { return Accepts(sandbox / "bus"); });
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (saved_.empty()) {
      ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    } else {
      ::setenv("DBUS_SESSION_BUS_ADDRESS", saved_.c_str(), 1);
    }
  }
  const std::string& Address() const { return address_; }

  // A connection to the bus, which takes them by now.
  std::unique_ptr<sdbus::IConnection> Connect() const {
    std::unique_ptr<sdbus::IConnection> connection;
    WaitUntil([&] {
      try {
        connection = sdbus::createSessionBusConnectionWithAddress(address_);
      } catch (const sdbus::Error&) {
        return false;
      }
      return true;
    });
    return connection;
  }
  bool Running() const { return pid_ > 0; }

 private:
  std::string address_;
  std::string saved_;
  pid_t pid_ = -1;
};

TEST(ActivationTest, FirstCallStartsTarnsvcWhichEndsAfterItsLastClient) {
  Sandbox sandbox;
  ::setenv("XDG_CONFIG_HOME", (sandbox / "xdgconfig").c_str(), 1);
  TestIndexServer server;
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(OSTREL::Platform::CRegistry(sandbox / "config")
                  .SetValue(OSTREL::Platform::RegRoot::kLocalMachine, P2P::kProductKey,
                            "Server Port", OSTREL::Platform::CRegValue::Dword(server.Port())));
  ASSERT_EQ(RunToEnd({TARNSVC_PATH, "-RegServer"}), 0);
  ASSERT_TRUE(std::filesystem::exists(sandbox / "data/dbus-1/services/com.ostrel.TarnSvc.service"));

  PrivateBus bus(sandbox);
  ASSERT_TRUE(bus.Running());
  auto observer = bus.Connect();
  ASSERT_TRUE(observer);
  EXPECT_FALSE(NameHasOwner(*observer, CApiClient::kDefaultDestination));
  {
    CApiClient client(bus.Connect());
    auto manager = client.ServiceManager();
    std::shared_ptr<IP2PConfig> config;
    ASSERT_EQ(manager->get_Config(&config), S_OK);
    std::string path;
    EXPECT_EQ(config->get_ConfigPath(&path), S_OK);
    EXPECT_FALSE(path.empty());
    EXPECT_TRUE(NameHasOwner(*observer, CApiClient::kDefaultDestination));
  }
  // The local server ends once its last client has left the bus.
  EXPECT_TRUE(WaitUntil([&] { return !NameHasOwner(*observer, CApiClient::kDefaultDestination); },
                        std::chrono::seconds(20)));

  EXPECT_EQ(RunToEnd({TARNSVC_PATH, "-UnregServer"}), 0);
  EXPECT_FALSE(std::filesystem::exists(sandbox / "data/dbus-1/services/com.ostrel.TarnSvc.service"));
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tarn::test
