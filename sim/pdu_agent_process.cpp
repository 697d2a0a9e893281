#include "sim/pdu_agent_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace pdu_agent {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kStartTimeout{20};
constexpr std::chrono::seconds kStopTimeout{10};
constexpr std::chrono::seconds kReapAfterKillTimeout{5};
constexpr std::chrono::milliseconds kReapPollInterval{10};
constexpr std::size_t kMaxAddressLine = 64;

std::string ErrnoText(int error) { return std::strerror(error); }

void CloseFd(int& fd) noexcept {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

// Describes a waitpid status for error messages.
std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

enum class WaitResult { kExited, kTimedOut, kGone };

// Waits up to `timeout` for pid to end and reaps it (*status is set for kExited). kGone
// means it can't be waited for (already reaped elsewhere, e.g. with SIGCHLD ignored); its
// PID may then belong to another process already and must not be signalled.
WaitResult WaitForExit(pid_t pid, Clock::duration timeout, int* status) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const pid_t result = ::waitpid(pid, status, WNOHANG);
    if (result == pid) return WaitResult::kExited;
    if (result < 0 && errno != EINTR) return WaitResult::kGone;
    if (Clock::now() >= deadline) return WaitResult::kTimedOut;
    std::this_thread::sleep_for(kReapPollInterval);
  }
}

// Parses "127.0.0.1:PORT"; returns the port or 0 if the line is anything else.
int ParseAddress(const std::string& line) {
  static const std::string kPrefix = "127.0.0.1:";
  if (line.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  const std::string digits = line.substr(kPrefix.size());
  if (digits.empty() || digits.size() > 5) return 0;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port >= 1 && port <= 65535 ? port : 0;
}

class SpawnAttributes {
 public:
  SpawnAttributes() {
    if (posix_spawn_file_actions_init(&actions_) != 0) {
      throw std::runtime_error("posix_spawn_file_actions_init failed");
    }
    if (posix_spawnattr_init(&attr_) != 0) {
      posix_spawn_file_actions_destroy(&actions_);
      throw std::runtime_error("posix_spawnattr_init failed");
    }
  }
  ~SpawnAttributes() {
    posix_spawnattr_destroy(&attr_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  posix_spawn_file_actions_t* actions() { return &actions_; }
  posix_spawnattr_t* attr() { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

}  // namespace

PduAgentProcess::PduAgentProcess(std::string sim_dir) : sim_dir_(std::move(sim_dir)) {}

PduAgentProcess::PduAgentProcess(std::string sim_dir, const PduAgentOptions& options)
    : sim_dir_(std::move(sim_dir)) {
  Start(options);
}

PduAgentProcess::~PduAgentProcess() { Stop(); }

void PduAgentProcess::Start(const PduAgentOptions& options) {
  if (running()) throw std::runtime_error("PDU agent already running at " + address_);
  if (sim_dir_.empty()) throw std::runtime_error("PDU agent: simulator directory not set");
  const std::string script = sim_dir_ + "/pdu_agent.py";
  if (::access(script.c_str(), R_OK) != 0) {
    throw std::runtime_error("PDU agent script not readable: " + script + ": " + ErrnoText(errno));
  }
  if (options.python.empty()) throw std::runtime_error("PDU agent: no python interpreter set");

  std::vector<std::string> args = {options.python, script};
  if (!options.data_file.empty()) args.insert(args.end(), {"--data", options.data_file});
  if (options.allow_empty) args.push_back("--allow-empty");
  if (options.snmpsim) args.push_back("--snmpsim");
  if (!options.request_log.empty()) {
    args.insert(args.end(), {"--request-log", options.request_log});
  }
  if (options.no_view_limit) args.push_back("--no-view-limit");
  if (options.port != 0) args.insert(args.end(), {"--port", std::to_string(options.port)});
  if (options.more_ports != 0) {
    args.insert(args.end(), {"--more-ports", std::to_string(options.more_ports)});
  }
  if (!options.v3_users.empty()) args.insert(args.end(), {"--v3-users", options.v3_users});
  if (!options.state_dir.empty()) args.insert(args.end(), {"--state-dir", options.state_dir});
  if (!options.engine_id.empty()) {
    if (options.state_dir.empty()) throw std::runtime_error("PDU agent: engine_id needs state_dir");
    const std::string state = options.state_dir + "/snmpd.conf";
    if (::access(state.c_str(), F_OK) != 0) {
      ::mkdir(options.state_dir.c_str(), 0700);
      WriteFileAtomically(state, "engineBoots " + std::to_string(options.engine_boots) +
                                     "\noldEngineID " + options.engine_id + "\n");
    }
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // The community goes in the environment, not on the command line, where ps
  // shows it; one the caller's environment holds is not passed on by chance.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, "PDU_COMMUNITY=", 14) != 0) variables.emplace_back(*variable);
  }
  if (!options.community.empty()) variables.push_back("PDU_COMMUNITY=" + options.community);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  // Both pipes are close-on-exec so that no other child inherits our ends: the agent
  // must see EOF on stdin as soon as this process closes its end or dies.
  int in_pipe[2];
  int out_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("PDU agent: pipe2 failed: " + ErrnoText(errno));
  }
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    const int error = errno;
    ::close(in_pipe[0]);
    ::close(in_pipe[1]);
    throw std::runtime_error("PDU agent: pipe2 failed: " + ErrnoText(error));
  }

  int spawn_error = 0;
  {
    SpawnAttributes spawn;
    // A test runner may block or ignore signals; the agent needs them in default state.
    sigset_t empty_set;
    sigset_t default_set;
    sigemptyset(&empty_set);
    sigemptyset(&default_set);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) {
      sigaddset(&default_set, sig);
    }
    spawn_error = posix_spawn_file_actions_adddup2(spawn.actions(), in_pipe[0], STDIN_FILENO);
    if (spawn_error == 0) {
      spawn_error = posix_spawn_file_actions_adddup2(spawn.actions(), out_pipe[1], STDOUT_FILENO);
    }
    if (spawn_error == 0) spawn_error = posix_spawnattr_setsigmask(spawn.attr(), &empty_set);
    if (spawn_error == 0) {
      spawn_error = posix_spawnattr_setsigdefault(spawn.attr(), &default_set);
    }
    if (spawn_error == 0) {
      spawn_error =
          posix_spawnattr_setflags(spawn.attr(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    if (spawn_error == 0) {
      pid_t pid = -1;
      spawn_error =
          posix_spawnp(&pid, argv[0], spawn.actions(), spawn.attr(), argv.data(), envp.data());
      if (spawn_error == 0) pid_ = pid;
    }
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  stdin_fd_ = in_pipe[1];
  stdout_fd_ = out_pipe[0];
  if (spawn_error != 0) {
    CloseFds();
    throw std::runtime_error("PDU agent: cannot run " + options.python + " " + script + ": " +
                             ErrnoText(spawn_error));
  }
  clean_exit_ = false;

  // Read the single address line, bounded in time and size.
  std::string line;
  const auto deadline = Clock::now() + kStartTimeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      Abort("PDU agent printed no address within " + std::to_string(kStartTimeout.count()) + " s");
    }
    pollfd pfd{stdout_fd_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      Abort("PDU agent: poll failed: " + ErrnoText(errno));
    }
    if (ready == 0) continue;
    char buffer[128];
    const ssize_t n = ::read(stdout_fd_, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      Abort("PDU agent: reading its output failed: " + ErrnoText(errno));
    }
    if (n == 0) {
      int status = 0;
      const WaitResult result = WaitForExit(pid_, std::chrono::seconds(2), &status);
      if (result != WaitResult::kTimedOut) pid_ = -1;
      Abort("PDU agent exited before it was ready" +
            (result == WaitResult::kExited ? " (" + DescribeStatus(status) + ")" : std::string()) +
            "; its stderr says why");
    }
    line.append(buffer, static_cast<std::size_t>(n));
    const std::size_t newline = line.find('\n');
    if (newline != std::string::npos) {
      line.resize(newline);
      break;
    }
    if (line.size() > kMaxAddressLine * (options.more_ports + 1)) {
      Abort("PDU agent printed an overlong first line");
    }
  }
  // "127.0.0.1:PORT", or with more ports that and the others after commas.
  std::vector<std::string> addresses;
  for (std::size_t start = 0; start <= line.size();) {
    const std::size_t comma = std::min(line.find(',', start), line.size());
    addresses.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  for (const std::string& address : addresses) {
    if (ParseAddress(address) == 0 || addresses.size() != options.more_ports + 1) {
      Abort("PDU agent printed an unexpected line: '" + line + "'");
    }
  }
  port_ = ParseAddress(addresses.front());
  address_ = addresses.front();
  addresses_ = std::move(addresses);
}

bool PduAgentProcess::Stop() noexcept {
  if (!running()) return clean_exit_;
  CloseFd(stdin_fd_);  // EOF tells the agent to stop snmpd and exit
  int status = 0;
  WaitResult result = WaitForExit(pid_, kStopTimeout, &status);
  if (result == WaitResult::kTimedOut) {
    ::kill(pid_, SIGKILL);  // snmpd gets SIGTERM from the kernel when the agent dies
    result = WaitForExit(pid_, kReapAfterKillTimeout, &status);
    if (result == WaitResult::kTimedOut) {
      std::fprintf(stderr, "PDU agent pid %d not reaped after SIGKILL\n", static_cast<int>(pid_));
    }
    clean_exit_ = false;
  } else {
    clean_exit_ = result == WaitResult::kExited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  pid_ = -1;
  CloseFds();
  return clean_exit_;
}

void PduAgentProcess::Abort(const std::string& message) {
  if (running()) {
    int status = 0;
    if (WaitForExit(pid_, Clock::duration::zero(), &status) == WaitResult::kTimedOut) {
      ::kill(pid_, SIGKILL);
      WaitForExit(pid_, kReapAfterKillTimeout, &status);
    }
    pid_ = -1;
  }
  CloseFds();
  clean_exit_ = false;
  throw std::runtime_error(message);
}

void PduAgentProcess::CloseFds() noexcept {
  CloseFd(stdin_fd_);
  CloseFd(stdout_fd_);
  address_.clear();
  addresses_.clear();
  port_ = 0;
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
  if (path.empty()) throw std::runtime_error("WriteFileAtomically: empty path");
  std::string temp = path + ".tmp.XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    throw std::runtime_error("cannot create temporary file for " + path + ": " + ErrnoText(errno));
  }
  const auto fail = [&](const std::string& what, int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw std::runtime_error(what + " " + temp + ": " + ErrnoText(error));
  };
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write", errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, 0644) != 0) fail("cannot chmod", errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw std::runtime_error("cannot close " + temp + ": " + ErrnoText(error));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw std::runtime_error("cannot rename " + temp + " to " + path + ": " + ErrnoText(error));
  }
}

std::size_t CountRequestLogLines(const std::string& path, const std::string& command) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return 0;
    throw std::runtime_error("cannot open request log " + path + ": " + ErrnoText(errno));
  }
  std::string data;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw std::runtime_error("cannot read request log " + path + ": " + ErrnoText(error));
    }
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);

  const std::string prefix = command.empty() ? std::string() : command + " ";
  std::size_t count = 0;
  std::size_t start = 0;
  // A line without its newline is a write still in progress and is not counted.
  for (std::size_t end = data.find('\n'); end != std::string::npos;
       start = end + 1, end = data.find('\n', start)) {
    if (data.compare(start, prefix.size(), prefix) == 0) ++count;
  }
  return count;
}

SilentUdpPorts::SilentUdpPorts(std::size_t count) {
  while (ports_.size() < count) {
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0) break;
    sockets_.push_back(socket);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      break;
    }
    ports_.push_back(ntohs(address.sin_port));
  }
  if (ports_.size() < count) {
    const int error = errno;
    for (const int socket : sockets_) ::close(socket);
    throw std::runtime_error("no " + std::to_string(count) +
                             " free loopback ports: " + ErrnoText(error));
  }
}

SilentUdpPorts::~SilentUdpPorts() {
  for (const int socket : sockets_) ::close(socket);
}

}  // namespace pdu_agent
