#include "survey_site.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <json/reader.h>
#include <json/writer.h>

#include "bench_clock.h"
#include "proc_readers.h"
#include "sim/pdu_agent_process.h"
#include "support/pdu_host_run.h"

extern char** environ;

namespace bench {
namespace {

// Far beyond a survey's time-out and retry, which every dead PDU waits once.
constexpr std::chrono::seconds kSurveyBound{600};

std::string SiteConfig(const std::vector<std::string>& addresses, const Json::Value& app_setting) {
  Json::Value devices(Json::arrayValue);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    Json::Value device(Json::objectValue);
    device["id"] = static_cast<Json::UInt>(i + 1);
    device["address"] = addresses[i];
    if (!app_setting.isNull()) device["appSetting"] = app_setting;
    devices.append(device);
  }
  Json::Value config(Json::objectValue);
  config["devices"] = devices;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, config) + "\n";
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

  // The document (--json): one object a PDU, with its state, its walk's
  // time and the engine ID it answered with.
  Json::Value document;
  std::string errors;
  std::istringstream text(pdu_host_run::ReadFile(out));
  if (!Json::parseFromStream(Json::CharReaderBuilder(), text, &document, &errors) ||
      !document.isObject() || !document["pdus"].isArray()) {
    return;  // no states counted: the report says so
  }
  std::map<std::string, std::size_t> engines;
  for (const Json::Value& pdu : document["pdus"]) {
    if (!pdu.isObject() || !pdu["state"].isString()) continue;  // counted as other
    const std::string state = pdu["state"].asString();
    if (state == "ok") {
      ++figures.ok;
      if (pdu["seconds"].isNumeric()) {
        figures.slowest_ok = std::max(figures.slowest_ok, pdu["seconds"].asDouble());
      }
    } else if (state == "no response") {
      ++figures.silent;
    }
    if (pdu["engine_id"].isString()) ++engines[pdu["engine_id"].asString()];
  }
  figures.engine_ids = engines.size();
  for (const auto& [engine_id, count] : engines) figures.shared_ids += count > 1;
}

}  // namespace

SurveyFigures SurveySite(const std::string& pdu_host, const std::vector<std::string>& live,
                         std::size_t dead, const Json::Value& app_setting) {
  std::vector<std::string> site = live;
  const pdu_agent::SilentUdpPorts held(dead);
  const std::vector<int>& silent = held.ports();
  const std::size_t every = dead == 0 ? 0 : (live.size() + dead) / dead;
  for (std::size_t k = 0; k < dead; ++k) {
    site.insert(site.begin() + k * every, "127.0.0.1:" + std::to_string(silent[k]));
  }
  pdu_host_run::TempDir folder;
  const std::string config = folder.Write("site.json", SiteConfig(site, app_setting));
  ::chmod(config.c_str(), 0600);  // it may hold passphrases
  SurveyFigures figures;
  RunMeasured({pdu_host, "--config", config, "--survey", "--json"}, folder.path(), figures);
  figures.other = site.size() - figures.ok - figures.silent;
  return figures;
}

bool ReportSurveySite(const std::string& title, std::size_t dead, const SurveyFigures& figures,
                      const SurveyFigures* baseline) {
  const std::size_t pdus = figures.ok + figures.silent + figures.other;
  std::string difference;
  if (baseline != nullptr) {
    char text[64];
    std::snprintf(text, sizeof text, " (%+.1f s on v2c)", figures.seconds - baseline->seconds);
    difference = text;
  }
  std::printf(
      "%s: %.1f s%s, %.0f PDUs/s, peak memory of pdu-host %.1f MiB, exit status %d\n"
      "  states: %zu ok, %zu no response, %zu other; the slowest ok walk took %.2f s",
      title.c_str(), figures.seconds, difference.c_str(),
      static_cast<double>(pdus) / figures.seconds, static_cast<double>(figures.peak_kib) / 1024,
      figures.exit_status, figures.ok, figures.silent, figures.other, figures.slowest_ok);
  if (figures.engine_ids > 0) {
    std::printf("; engine IDs answered with: %zu, %zu of them by several PDUs", figures.engine_ids,
                figures.shared_ids);
  }
  std::printf("\n");
  std::fflush(stdout);
  const bool right = figures.ok == pdus - dead && figures.silent == dead;
  if (!right) {
    std::printf("  UNEXPECTED: %zu ok and %zu no response, not %zu and %zu\n", figures.ok,
                figures.silent, pdus - dead, dead);
  }
  return right;
}

}  // namespace bench
