#include "explain_record/snmprec_file.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "capture/value_bytes.h"
#include "driver/walk/walk_settings.h"

namespace pdu_host {
namespace {

// A float arrives as net-snmp's Opaque float and is written as that Opaque.
bool IsOpaqueFloat(const ServedObject& object) {
  return object.snmprec_entry && object.snmprec_entry->rfind("68x|9f78", 0) == 0;
}

}  // namespace

bool IsSnmprecPath(const std::string& path) {
  const std::string suffix = ".snmprec";
  return path.size() > suffix.size() &&
         path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string SnmprecFile(const TableWalk& walk, const CaptureOrigin& origin) {
  std::string text = CaptureHeader(origin, walk) +
                     "# Serve it with sim/pdu_agent.py --snmpsim --data FILE, or with snmpsimd "
                     "as tundra.snmprec (the plug-in's community) in its --data-dir\n";
  if (std::any_of(walk.objects.begin(), walk.objects.end(), IsOpaqueFloat)) {
    text +=
        "# Floats are the Opaque that carried them (68x|9f7804 and the IEEE-754 bits), served "
        "back byte for byte; .snmprec has no tag for a bare float (application 8)\n";
  }
  std::vector<std::pair<std::vector<oid>, std::string>> lines;
  for (const ServedObject& object : walk.objects) {
    std::vector<oid> name(std::begin(pdu::kTableRoot), std::end(pdu::kTableRoot));
    name.insert(name.end(), object.suffix.begin(), object.suffix.end());
    const std::string name_text = OidText(name.data(), name.size());
    if (object.snmprec_entry) {
      lines.emplace_back(name, name_text + "|" + *object.snmprec_entry + "\n");
    } else {
      lines.emplace_back(name, "# " + name_text + " " + object.type_name +
                                   (object.value_text.empty() ? "" : " " + object.value_text) +
                                   ": snmpsim cannot serve this type\n");
    }
  }
  // Numeric order of the names: snmpsim searches the file by OID.
  std::sort(lines.begin(), lines.end());
  for (const auto& line : lines) text += line.second;
  return text;
}

}  // namespace pdu_host
