#include "run_as_host/error_status_walk.h"

#include <cstddef>
#include <string>
#include <vector>

#include "walk/table_walk.h"
#include "walk/walk_engine.h"

namespace pdu_host {

void NameErrorStatuses(const std::vector<DeviceEntry>& entries, RunLedger& ledger) {
  std::vector<const DeviceEntry*> targets;
  for (const DeviceEntry& entry : entries) {
    if (!entry.address.empty() && ledger.LastProblemIsErrorStatus(entry.id)) {
      targets.push_back(&entry);
    }
  }
  if (targets.empty()) return;
  WalkEvents events;
  events.ended = [&](std::size_t index, TableWalk&& walk, double) {
    const std::string words =
        walk.how == WalkEnd::kAgentStopped && walk.error_status != 0
            ? "walked again after the run, " + walk.end.substr(walk.end.find("the agent"))
            : "walked again after the run, the walk " + walk.end;
    ledger.NoteWalkedAgain(targets[index]->id, words);
  };
  WalkTables(targets, targets.size(), events);
}

}  // namespace pdu_host
