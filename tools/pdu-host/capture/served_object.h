// One object a PDU served inside its table, as pdu-host's own walk received
// it: its name below the table root, its type and value as net-snmp prints
// them, whether the plug-in's walk stores it, and how the simulated PDU's
// data file and a .snmprec file hold it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "driver/snmp/netsnmp.h"

namespace pdu_host {

struct ServedObject {
  std::vector<oid> suffix;  // the name below the table root: column, row, ...
  std::string type_name;    // "INTEGER", "Gauge32", "STRING", "Opaque: Float", ...
  std::string value_text;   // net-snmp's text, control characters escaped
  bool stored = false;      // the plug-in stores it into its column's field
  // "<type> <value>" for the simulator's data file; none for a type it cannot serve.
  std::optional<std::string> data_entry;
  // "<tag>|<value>" for a .snmprec file; none for a type snmpsim cannot serve.
  std::optional<std::string> snmprec_entry;
};

// Describes `binding`, whose name lies below `root`.
ServedObject DescribeObject(const netsnmp_variable_list& binding, const oid* root,
                            std::size_t root_length);

// "2.1"; "(table root)" for the root itself.
std::string SuffixText(const std::vector<oid>& suffix);

}  // namespace pdu_host
