#include "explain_record/capture_file.h"

#include <string>

namespace pdu_host {

std::string CaptureFile(const TableWalk& walk, const CaptureOrigin& origin) {
  std::string text = CaptureHeader(origin, walk);
  for (const ServedObject& object : walk.objects) {
    // The simulator needs a name below the root.
    if (object.data_entry && !object.suffix.empty()) {
      text += SuffixText(object.suffix) + " " + *object.data_entry + "\n";
    } else {
      text += "# " + SuffixText(object.suffix) + " " + object.type_name +
              (object.value_text.empty() ? "" : " " + object.value_text) +
              ": the simulator cannot serve this object\n";
    }
  }
  return text;
}

}  // namespace pdu_host
