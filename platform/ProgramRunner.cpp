#include "platform/ProgramRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace OSTREL::Platform {
namespace {

// This process's environment with `changes` made.
std::vector<std::string> EnvironmentWith(const ProgramEnvironment& changes) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    const auto name = variable.substr(0, variable.find('='));
    bool replaced = false;
    for (const auto& change : changes) replaced = replaced || change.first == name;
    if (!replaced) variables.emplace_back(variable);
  }
  for (const auto& [name, value] : changes) variables.push_back(name + "=" + value);
  return variables;
}

std::optional<pid_t> Spawn(const std::vector<std::string>& argv, bool ownSession,
                           const ProgramEnvironment& environment = {}) {
  if (argv.empty()) return std::nullopt;
  std::string program = argv[0];
  if (program.find('/') == std::string::npos) {
    const auto found = FindProgram(program);
    if (!found) return std::nullopt;
    program = found->string();
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  for (int fd = 0; fd <= 2; ++fd)
    posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (ownSession) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::vector<std::string> variables = EnvironmentWith(environment);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int error =
      ::posix_spawn(&pid, program.c_str(), &files, &attributes, args.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  if (error != 0) return std::nullopt;
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::optional<std::filesystem::path> FindProgram(std::string_view program) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(folder) / program;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::nullopt;
}

int RunProgram(const std::vector<std::string>& argv, const ProgramEnvironment& environment) {
  const auto pid = Spawn(argv, false, environment);
  return pid ? WaitFor(*pid) : -1;
}

bool StartProgram(const std::vector<std::string>& argv) {
  const auto pid = Spawn(argv, true);
  if (!pid) return false;
  std::thread([pid = *pid] { WaitFor(pid); }).detach();
  return true;
}

}  // namespace OSTREL::Platform
