#include "options.h"

#include <cstdlib>
#include <set>

namespace pdu_host {
namespace {

// Non-negative decimal integer without sign or spaces, at most `max`.
unsigned ParsePasses(const std::string& text) {
  const std::string message = "--passes needs a whole number from 0 to " +
                              std::to_string(kMaxPasses) + ", not '" + text + "'";
  if (text.empty() || text.size() > 7) throw UsageError(message);
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') throw UsageError(message);
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > kMaxPasses) throw UsageError(message);
  return static_cast<unsigned>(value);
}

// Decimal seconds ("30", "0.5"), above 0 and at most kMaxSeconds.
double ParseSeconds(const std::string& text) {
  const std::string message = "--seconds needs a number of seconds above 0 and at most " +
                              std::to_string(static_cast<long>(kMaxSeconds)) + ", not '" + text +
                              "'";
  std::size_t digits = 0;
  std::size_t points = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.') {
      ++points;
    } else {
      throw UsageError(message);
    }
  }
  if (digits == 0 || points > 1 || text.size() > 32) throw UsageError(message);
  const double value = std::strtod(text.c_str(), nullptr);
  if (!(value > 0) || value > kMaxSeconds) throw UsageError(message);
  return value;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      throw UsageError("unexpected argument '" + arg + "' (options start with --; see --help)");
    }
    std::string name = arg;
    std::string value;
    bool has_value = false;
    if (const auto equals = arg.find('='); equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      has_value = true;
    }
    static const std::set<std::string> kKnown = {
        "--config", "--plugin", "--passes", "--seconds", "--events", "--cache-in", "--cache-out"};
    if (kKnown.count(name) == 0) throw UsageError("unknown option '" + name + "' (see --help)");
    if (!seen.insert(name).second) throw UsageError(name + " is given more than once");
    if (!has_value) {
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      value = args[++i];
    }
    if (name == "--passes") {
      options.passes = ParsePasses(value);
    } else if (name == "--seconds") {
      options.seconds = ParseSeconds(value);
    } else if (value.empty()) {
      throw UsageError(name + " needs a non-empty file name");
    } else if (name == "--config") {
      options.config_path = value;
    } else if (name == "--plugin") {
      options.plugin_path = value;
    } else if (name == "--events") {
      options.events_path = value;
    } else if (name == "--cache-in") {
      options.cache_in_path = value;
    } else {
      options.cache_out_path = value;
    }
  }
  if (!options.help && options.config_path.empty()) {
    throw UsageError("--config FILE is required (see --help)");
  }
  return options;
}

std::string HelpText() {
  return R"(Usage: pdu-host --config FILE [--plugin PATH] [--passes N] [--seconds S]
                [--events FILE] [--cache-in FILE] [--cache-out FILE]

Runs the PDU plug-in as the monitoring host does: loads it, creates one device
per configured entry, initialises and polls the devices, and prints every
record they publish (device, time stamp, the 31 columns with the alarm text
beside each alarm column, and the active alarm signals). The plug-in's own
trace lines go to standard output as well.

Options:
  --config FILE     Device configuration, JSON:
                      {"devices": [{"id": 7, "address": "127.0.0.1:16161",
                                    "appSetting": {"b_mode": "2", "use_thread": "0"},
                                    "thresholdSetting": {}}]}
                    Each device object is handed whole to that device's Init.
                    "id" (an integer from 0 to 4294967295, unique) is its data
                    identifier, "address" (a string) the PDU it polls; an
                    empty address never samples. appSetting.use_thread absent
                    or 0 (read like atoi) polls the device from the host;
                    anything else lets it sample on its own thread every 5 s.
  --plugin PATH     Plug-in to load (default: snmp_varno_pdu.so in the folder
                    of this program).
  --passes N        Records each device is to publish, 0 to 1000000 (default 1).
                    A polled device gets RefreshStatus N times; the host waits
                    for a threaded device until it has published N records.
                    A record restored by --cache-in does not count.
  --seconds S       How long to wait for the threaded devices, counted from
                    the end of the set-up, above 0 and at most 86400
                    (default 30). Polled devices are not bounded by it: each
                    of their passes ends within the plug-in's SNMP time-out.
                    A threaded pass still running at the end is cut short.
  --events FILE     Write one JSON object per line for every call the
                    plug-in makes on the host, in call order, e.g.
                      {"device":7,"call":"Reset"}
                    Calls: SendSP (type, length, flag, record as hex), Reset,
                    CheckThresholdBool (level, id, id2, group, text, active,
                    seq), DoBatchCheckThreshold (rules, result),
                    SaveDeviceHistory (length, record as hex).
  --cache-in FILE   Before polling, hand FILE (exactly 135 bytes: one record,
                    as --cache-out writes it) to each device's LoadFromCache;
                    the device publishes it in a record cycle of its own.
  --cache-out FILE  At the end, write the last record published by any device
                    (135 bytes) to FILE, for a later --cache-in.
  -h, --help        Show this text and exit.

Exit status:
  0  every device published its N records.
  1  some device published fewer (a polled pass that ended without a record,
     or a threaded device not done within S seconds; each is named on
     standard error), a pass failed, or an output file could not be written.
  2  bad input: options, configuration, cache file, events file or plug-in.
     One line on standard error names the problem; no device is polled.
)";
}

}  // namespace pdu_host
