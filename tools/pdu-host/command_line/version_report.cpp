#include "command_line/version_report.h"

#include <cstdio>
#include <exception>
#include <string>

#include "command_line/plugin_version.h"
#include "common/complain.h"
#include "common/exit_status.h"
#include "run_as_host/host_run.h"

#ifndef PDU_VERSION
#error "PDU_VERSION (the release's version text) must be defined"
#endif

namespace pdu_host {

const char* HostVersion() { return PDU_VERSION; }

int ReportVersions(const std::string& plugin_path) {
  std::printf("pdu-host %s\n", HostVersion());
  std::fflush(stdout);
  std::string path = plugin_path;
  std::string version;
  try {
    if (path.empty()) path = DefaultPluginPath();
    version = ReadPluginVersion(path);
  } catch (const std::exception& e) {
    Complain(std::string("cannot tell the plug-in's version: ") + e.what());
    return kExitShortfall;
  }
  std::printf("plug-in %s (%s)\n", version.c_str(), path.c_str());
  std::fflush(stdout);
  if (version != HostVersion()) {
    Complain("warning: the plug-in is version " + version + " and pdu-host " + HostVersion() +
             ": they come from different releases; put the snmp_varno_pdu.so of release " +
             HostVersion() + " beside pdu-host, or name a matching one with --plugin");
    return kExitShortfall;
  }
  return kExitOk;
}

}  // namespace pdu_host
