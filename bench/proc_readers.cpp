#include "proc_readers.h"

#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace bench {

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long StatusField(const std::string& name, pid_t pid) {
  std::ifstream status(pid == 0 ? "/proc/self/status" : "/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

long UdpReceiveBufferErrors() {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values;
  while (std::getline(snmp, names) && std::getline(snmp, values)) {
    if (names.compare(0, 4, "Udp:") != 0) continue;
    std::istringstream name_fields(names), value_fields(values);
    std::string name, value;
    while (name_fields >> name && value_fields >> value) {
      if (name == "RcvbufErrors") return std::strtol(value.c_str(), nullptr, 10);
    }
  }
  return -1;
}

double ProcessTreeCpuSeconds(pid_t root) {
  struct Entry {
    pid_t pid;
    pid_t parent;
    unsigned long long ticks;
  };
  std::vector<Entry> entries;
  for (const auto& dir : std::filesystem::directory_iterator("/proc")) {
    const std::string name = dir.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream file(dir.path() / "stat");
    std::string text;
    if (!std::getline(file, text)) continue;
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    // Fields after the command: state ppid pgrp session tty tpgid flags minflt
    // cminflt majflt cmajflt utime stime ...
    std::string state;
    long parent = 0;
    std::string skip;
    unsigned long long utime = 0, stime = 0;
    fields >> state >> parent;
    for (int i = 0; i < 9; ++i) fields >> skip;
    fields >> utime >> stime;
    if (!fields) continue;
    entries.push_back(
        {static_cast<pid_t>(std::stol(name)), static_cast<pid_t>(parent), utime + stime});
  }
  std::set<pid_t> tree = {root};
  for (bool grown = true; grown;) {
    grown = false;
    for (const Entry& entry : entries) {
      if (tree.count(entry.parent) != 0 && tree.insert(entry.pid).second) grown = true;
    }
  }
  unsigned long long ticks = 0;
  for (const Entry& entry : entries) {
    if (tree.count(entry.pid) != 0) ticks += entry.ticks;
  }
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace bench
