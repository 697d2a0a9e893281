#include "support/pdu_host_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <json/reader.h>

extern char** environ;

namespace pdu_host_run {

std::vector<std::string> Command(const std::string& launcher, const std::string& exe,
                                 const std::vector<std::string>& args) {
  std::vector<std::string> command;
  std::istringstream words(launcher);
  for (std::string word; words >> word;) command.push_back(word);
  command.push_back(exe);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

namespace {

// The controller side of a new pseudo terminal, non-blocking; its other
// side's path in `*terminal`.
int OpenTerminal(std::string* terminal) {
  const int controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const char* name = controller >= 0 && ::grantpt(controller) == 0 && ::unlockpt(controller) == 0
                         ? ::ptsname(controller)
                         : nullptr;
  if (name == nullptr) {
    if (controller >= 0) ::close(controller);
    throw std::runtime_error(std::string("no pseudo terminal: ") + std::strerror(errno));
  }
  *terminal = name;
  return controller;
}

// What the terminal holds so far.
void Drain(int controller, std::string& into) {
  char buffer[4096];
  for (ssize_t n; (n = ::read(controller, buffer, sizeof buffer)) > 0;) {
    into.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

Result Run(const std::vector<std::string>& command, const std::string& work_dir,
           std::chrono::seconds timeout, Stderr stderr_to, std::string interrupt_when_out_has,
           Interrupt interrupt) {
  if (!interrupt_when_out_has.empty()) interrupt.out_has = interrupt_when_out_has;
  if (command.empty()) throw std::runtime_error("Run: empty command");
  const std::string out_path = work_dir + "/host.stdout";
  const std::string err_path = work_dir + "/host.stderr";
  const std::string& exe = command.front();
  std::vector<std::string> arguments = command;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // A previous run's output must not be taken for this one's: under qemu-user
  // posix_spawn may return before the child has opened its files.
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string terminal;
  const int controller = stderr_to == Stderr::kTerminal ? OpenTerminal(&terminal) : -1;
  if (controller >= 0) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, terminal.c_str(), O_RDWR | O_NOCTTY,
                                     0);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addchdir_np(&actions, work_dir.c_str());
  pid_t pid = -1;
  const int error = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    if (controller >= 0) ::close(controller);
    throw std::runtime_error("cannot spawn " + exe + ": " + std::strerror(error));
  }

  Result result;
  std::string on_terminal;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::optional<std::chrono::steady_clock::time_point> signalled;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result.finished = true;
      if (signalled) {
        result.seconds_after_signal =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - *signalled).count();
      }
      break;
    }
    if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    if (controller >= 0) Drain(controller, on_terminal);  // the program never waits on it
    const bool asked = !interrupt.out_has.empty() || interrupt.when;
    if (asked && !signalled &&
        ((interrupt.when && interrupt.when()) ||
         (!interrupt.out_has.empty() && ::access(out_path.c_str(), F_OK) == 0 &&
          ReadFile(out_path).find(interrupt.out_has) != std::string::npos))) {
      ::kill(pid, interrupt.signal);
      signalled = std::chrono::steady_clock::now();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (result.finished && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (controller >= 0) {
    Drain(controller, on_terminal);
    ::close(controller);
  }
  result.out = ReadFile(out_path);
  result.err = controller >= 0 ? on_terminal : ReadFile(err_path);
  return result;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pdu_host_test.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::string path = path_ + "/" + name;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  if (!file.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<Json::Value> ReadJsonLines(const std::string& path) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::vector<Json::Value> values;
  std::istringstream lines(ReadFile(path));
  std::string line;
  while (std::getline(lines, line)) {
    Json::Value value;
    std::string errors;
    if (!reader->parse(line.data(), line.data() + line.size(), &value, &errors) ||
        !value.isObject()) {
      throw std::runtime_error("event line " + std::to_string(values.size() + 1) +
                               " is not a JSON object: " + line);
    }
    values.push_back(value);
  }
  return values;
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t at = line.find_first_not_of(' ');
  while (at != std::string::npos && at < line.size()) {
    std::size_t gap = line.find("  ", at);
    if (gap == std::string::npos) gap = line.size();
    cells.push_back(line.substr(at, gap - at));
    at = line.find_first_not_of(' ', gap);
  }
  return cells;
}

std::vector<unsigned char> FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("odd hex length");
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::runtime_error(std::string("not a lowercase hex digit: ") + c);
  };
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(digit(hex[i]) * 16 + digit(hex[i + 1])));
  }
  return bytes;
}

}  // namespace pdu_host_run
