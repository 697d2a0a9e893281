#include "explain_record/explain_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/complain.h"
#include "common/console_output.h"
#include "common/file_io.h"
#include "explain_record/capture_file.h"
#include "explain_record/capture_origin.h"
#include "explain_record/explain_report.h"
#include "explain_record/snmprec_file.h"
#include "verdict/walk_verdict.h"
#include "walk/table_walk.h"
#include "walk/walk_session.h"

namespace pdu_host {
namespace {

// Where standard output leads, for a person: "in FILE" for a file, "above"
// for a terminal, else "on standard output".
std::string WhereOutputGoes() {
  struct stat status;
  if (::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/fd/1", path, sizeof path - 1);
    if (n > 0) return "in " + std::string(path, static_cast<std::size_t>(n));
  }
  return ::isatty(STDOUT_FILENO) == 1 ? "above" : "on standard output";
}

}  // namespace

bool ExplainAndRecord(bool explain, const std::string& record_path,
                      const std::vector<DeviceEntry>& entries, const LastRecordOf& last_record,
                      const std::function<bool(unsigned int id)>& timed_out,
                      std::vector<std::string>& closing) {
  bool ok = true;
  std::size_t explained = 0;
  for (const DeviceEntry& entry : entries) {
    const std::string label = "device " + std::to_string(entry.id);
    if (entry.address.empty()) {
      Complain("note: " + label + " has an empty address; its table is not walked");
      continue;
    }
    const std::shared_ptr<const pdu::SessionSecurity> security = WalkSecurity(entry);
    CaptureOrigin origin{entry.address, LocalTimeNow(), security->Description(), std::nullopt,
                         std::nullopt};
    TableWalk walk;
    if (timed_out(entry.id)) {
      walk.how = WalkEnd::kNoResponse;
      walk.end = "skipped: the plug-in's last pass had no answer";
      walk.security = security;
    } else {
      walk = WalkTable(entry);
    }
    if (!walk.complete) {
      Complain(label + ": table walk " + walk.end);
      ok = false;
    } else if (const WalkVerdict verdict = JudgeWalk(walk);
               explain && verdict.state != SurveyState::kOk) {
      // Fields the plug-in never writes stay 0 in every record: a failure, as in --survey.
      Complain(label + ": " + StateWords(verdict.state) + ": " + verdict.problem);
      ok = false;
    }
    if (explain) {
      WriteOut(FormatExplanation({entry.id, entry.address, last_record(entry.id)}, walk));
      ++explained;
    }
    if (!record_path.empty()) {
      // A partial table would replay as columns not served: keep FILE as it was.
      if (!walk.complete) {
        Complain(record_path + " not written: the walk did not reach the end of the table");
        continue;
      }
      AskAgentNames(origin, entry, *security);
      const std::string capture =
          IsSnmprecPath(record_path) ? SnmprecFile(walk, origin) : CaptureFile(walk, origin);
      try {
        WriteWholeFile(record_path, capture, "record file");
        closing.push_back("wrote " + record_path + ": the " + std::to_string(walk.objects.size()) +
                          " objects of " + label + "'s table (" + entry.address + "), in " +
                          (IsSnmprecPath(record_path) ? "snmpsim's .snmprec format"
                                                      : "the simulated PDU's data-file format") +
                          "; sim/pdu_agent.py --data " + record_path + " serves it");
      } catch (const FileError& e) {
        Complain(e.what());
        ok = false;
      }
    }
  }
  if (explained != 0) {
    closing.push_back(
        "explained " +
        (explained == 1 ? "one device's table" : std::to_string(explained) + " devices' tables") +
        " field by field, with the objects no field keeps and how each walk ended, " +
        WhereOutputGoes());
  }
  return ok;
}

}  // namespace pdu_host
