// Runs the simulated PDU agent (sim/pdu_agent.py, a private snmpd on a free loopback UDP
// port) as a child process for tests, and helpers for the files a test hands to it.

#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace pdu_agent {

struct PduAgentOptions {
  // Table data file; empty means the default table beside the agent script.
  std::string data_file;
  // Serve an empty table from a data file with no object in it (else refused).
  bool allow_empty = false;
  // Serve the data file, a .snmprec file, with snmpsim's snmpsimd instead of
  // snmpd (the Debian package snmpsim; the other options do not apply).
  bool snmpsim = false;
  // File that gets one line per backend get/getnext request ("getnext .1.3..."); it is
  // empty when Start() returns. Empty means no log.
  std::string request_log;
  // Let the community see the whole agent, so a walk that leaves the table meets the
  // next object outside it instead of endOfMibView.
  bool no_view_limit = false;
  // A fixed UDP port (tried once, no retry), e.g. to start an agent again
  // where a stopped one was; 0 picks a free port.
  int port = 0;
  // Serve the same table on this many more free loopback ports (snmpd only).
  std::size_t more_ports = 0;
  // The v2c community the agent answers instead of "tundra" (a .snmprec
  // file served by snmpsim is then served under that name). It reaches the
  // agent through its environment (PDU_COMMUNITY), never its command line.
  std::string community;
  // A file of SNMP v3 users the agent (snmpd) answers, one a line:
  // "NAME [AUTH-PROTOCOL AUTH-PASSPHRASE [PRIV-PROTOCOL PRIV-PASSPHRASE]]".
  // Without a community as well, it answers no v2c request then.
  std::string v3_users;
  // snmpd's persistent folder, kept across restarts: an agent started again
  // on it has the same engine ID and one boot more.
  std::string state_dir;
  // With state_dir, before its first start: the SNMP v3 engine ID (hex,
  // "0x80001f88...") and boots the agent starts from, as a PDU made from an
  // image others share starts with the image's engine ID.
  std::string engine_id;
  int engine_boots = 0;
  // Interpreter that runs the agent script, looked up in PATH.
  std::string python = "python3";
};

// Starts the agent and waits (bounded) until it answers SNMP requests. Stop() ends it;
// the destructor calls Stop(). The agent also stops by itself when this process dies,
// because its stdin pipe reaches EOF.
class PduAgentProcess {
 public:
  // sim_dir is the directory that holds pdu_agent.py (the build passes it in, e.g. as
  // PDU_SIM_DIR). Nothing is started yet.
  explicit PduAgentProcess(std::string sim_dir);
  // Same, and Start(options). Throws std::runtime_error if the agent does not come up.
  PduAgentProcess(std::string sim_dir, const PduAgentOptions& options);
  ~PduAgentProcess();

  PduAgentProcess(const PduAgentProcess&) = delete;
  PduAgentProcess& operator=(const PduAgentProcess&) = delete;

  // Throws std::runtime_error if already running, if the agent cannot be spawned, exits
  // early or prints no valid address line within 20 s (then it is killed).
  void Start(const PduAgentOptions& options = {});

  // Closes the agent's stdin so it stops snmpd and exits; after 10 s it is killed by PID.
  // Returns true if the agent exited by itself with status 0; false if it had to be killed
  // or its status could not be collected (e.g. SIGCHLD ignored). When not running, returns
  // what the last Stop() returned. Never throws.
  bool Stop() noexcept;

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // "127.0.0.1:PORT" of the running agent; empty when not running.
  const std::string& address() const { return address_; }
  // address() first, then one per PduAgentOptions::more_ports.
  const std::vector<std::string>& addresses() const { return addresses_; }
  int port() const { return port_; }

 private:
  // Kills and reaps the child after a failed start, then throws with the message.
  [[noreturn]] void Abort(const std::string& message);
  void CloseFds() noexcept;

  std::string sim_dir_;
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  std::string address_;
  std::vector<std::string> addresses_;
  int port_ = 0;
  bool clean_exit_ = false;
};

// Replaces path with content so that a reader sees either the old or the new file
// (temporary file in the same directory, then rename). Throws std::runtime_error.
void WriteFileAtomically(const std::string& path, const std::string& content);

// `count` distinct loopback UDP ports, bound for the object's life and never
// read: a request sent to one is never answered, like a PDU that is down. They
// stay bound so that nothing started meanwhile (a test running beside) can take
// one and answer. Throws std::runtime_error when they cannot be had.
class SilentUdpPorts {
 public:
  explicit SilentUdpPorts(std::size_t count);
  ~SilentUdpPorts();
  SilentUdpPorts(const SilentUdpPorts&) = delete;
  SilentUdpPorts& operator=(const SilentUdpPorts&) = delete;

  const std::vector<int>& ports() const { return ports_; }

 private:
  std::vector<int> sockets_;
  std::vector<int> ports_;
};

// Number of complete lines in a request log; with command ("get" or "getnext") only the
// lines for that request. A missing file counts 0. Throws if it exists but can't be read.
std::size_t CountRequestLogLines(const std::string& path, const std::string& command = "");

}  // namespace pdu_agent
