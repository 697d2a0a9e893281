#include "survey_site.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_clock.h"
#include "proc_readers.h"
#include "sim/pdu_agent_process.h"
#include "support/pdu_host_run.h"

extern char** environ;

namespace bench {
namespace {

// Far beyond a survey's time-out and retry, which every dead PDU waits once.
constexpr std::chrono::seconds kSurveyBound{600};

std::string SiteConfig(const std::vector<std::string>& addresses) {
  std::string devices;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    devices += (i == 0 ? "" : ",\n  ") + std::string("{\"id\": ") + std::to_string(i + 1) +
               ", \"address\": \"" + addresses[i] + "\"}";
  }
  return "{\"devices\": [\n  " + devices + "]}\n";
}

// Runs `command` with its output in files of `folder`; its wall time, exit
// status and peak resident memory into `figures`. The peak is the child's
// VmHWM, read while it runs: wait4's ru_maxrss would be this process's own
// peak, which posix_spawn's child shares until it executes pdu-host and the
// kernel then keeps as the child's. VmHWM only grows, so the last reading
// misses at most what pdu-host adds in its last poll interval.
void RunMeasured(const std::vector<std::string>& command, const std::string& folder,
                 SurveyFigures& figures) {
  const std::string out = folder + "/survey.out";
  const std::string err = folder + "/survey.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> arguments = command;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const Clock::time_point start = Clock::now();
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw std::runtime_error("cannot run " + command[0] + ": " + std::strerror(error));

  int status = 0;
  long peak_kib = 0;
  for (;;) {
    peak_kib = std::max(peak_kib, StatusField("VmHWM", pid));
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (Clock::now() - start > kSurveyBound) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  figures.seconds = Seconds(Clock::now() - start);
  figures.peak_kib = peak_kib;
  figures.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

  std::istringstream lines(pdu_host_run::ReadFile(out));
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> cells = pdu_host_run::Cells(line);
    if (cells.size() >= 3 && cells[2] == "ok") ++figures.ok;
    if (cells.size() >= 3 && cells[2] == "no response") ++figures.silent;
    figures.summary = line;
  }
}

}  // namespace

SurveyFigures SurveySite(const std::string& pdu_host, std::size_t pdus, std::size_t dead) {
  pdu_agent::PduAgentOptions options;
  options.more_ports = pdus - dead - 1;
  pdu_agent::PduAgentProcess agent(PDU_SIM_DIR, options);
  std::vector<std::string> site = agent.addresses();
  const pdu_agent::SilentUdpPorts held(dead);
  const std::vector<int>& silent = held.ports();
  const std::size_t every = dead == 0 ? 0 : pdus / dead;
  for (std::size_t k = 0; k < dead; ++k) {
    site.insert(site.begin() + k * every, "127.0.0.1:" + std::to_string(silent[k]));
  }
  pdu_host_run::TempDir folder;
  const std::string config = folder.Write("site.json", SiteConfig(site));
  SurveyFigures figures;
  RunMeasured({pdu_host, "--config", config, "--survey"}, folder.path(), figures);
  return figures;
}

bool ReportSurveySite(const std::string& pdu_host, std::size_t pdus, std::size_t dead,
                      const SurveyFigures& figures) {
  std::printf(
      "survey (%s): %zu PDUs, %zu of them dead, the rest on one simulated PDU serving %zu "
      "ports: %.1f s, %.0f PDUs/s, peak memory of pdu-host %.1f MiB, exit status %d\n",
      pdu_host.c_str(), pdus, dead, pdus - dead, figures.seconds,
      static_cast<double>(pdus) / figures.seconds, static_cast<double>(figures.peak_kib) / 1024,
      figures.exit_status);
  std::printf("  its summary: %s\n", figures.summary.c_str());
  std::fflush(stdout);
  const bool right = figures.ok == pdus - dead && figures.silent == dead;
  if (!right) {
    std::printf("  expected %zu ok and %zu no response, got %zu and %zu\n", pdus - dead, dead,
                figures.ok, figures.silent);
  }
  return right;
}

}  // namespace bench
