#include "command_line/options.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pdu_host {
namespace {

constexpr char kUsage[] =
    R"(Usage: pdu-host (--config FILE | --address ADDR [CREDENTIALS]) [--plugin PATH]
                [--passes N] [--seconds S] [--events FILE] [--cache-in FILE]
                [--cache-out FILE] [--explain] [--record FILE]
       pdu-host (--config FILE | --address ADDR [CREDENTIALS]) (--check | --survey [--json])
       pdu-host --version [--plugin PATH]
       pdu-host --help-config
)";

constexpr char kPurpose[] =
    R"(Runs the PDU plug-in as the monitoring host does: loads it, creates one device
per configured entry, initialises and polls the devices, and prints every
record they publish (device, time stamp, the 31 columns with the alarm text
beside each alarm column, and the active alarm signals). The plug-in's own
console lines are passed on marked with the device whose thread wrote them
("[device 7] ..."); bytes written straight to the console are tied by the
address they name ("[device 7 or 8] ..." for an address both share) or
marked "[plug-in] ...". Each record names what the plug-in reported during
its pass. The run ends with one line per device: records published, passes
with a time-out or error, the last problem (an error status by its name),
and measurement fields that were 0 in every record. Mistakes in the
configuration (as --check finds them) are printed first, as warnings;
mistakes in its structure (devices, ids, addresses) stop the run.
--help-config lists every configuration member and every survey state.
)";

constexpr char kExitStatus[] = R"(Exit status:
  0  every device published its N records and the last pass of each got an
     answer (and each walk for --explain or --record reached the end of the
     table); --check: no findings; --survey: every PDU ok; --version: the
     plug-in's version is pdu-host's.
  1  some device published fewer (a polled pass that ended without a record,
     or a threaded device not done within S seconds; each is named on
     standard error), a device's last pass ended without an answer (time-out
     or failed request), a problem line could not be tied to one device (the
     summary lists it), a pass failed, a walk for
     --explain or --record ended early (no answer, or an agent the
     plug-in's walk would stop at), a walk for --explain found fields the
     plug-in does not store, or an output file could not be written;
     --check: findings; --survey: some PDU not ok; --version: the plug-in's
     version differs from pdu-host's or cannot be read.
  2  bad input: options, configuration, cache file, output files or plug-in.
     Standard error names each problem (for a configuration, every mistake
     in it); no device is polled.
  130  interrupted by Ctrl-C (SIGINT) or SIGTERM: a line says at once what is
     being finished, and the output is finished with what was known then.
     --survey ends its walks (name look-ups are left behind) and prints the
     PDUs judged and the others as interrupted; an ordinary run abandons the
     passes under way, publishes nothing more, stops its devices, prints
     the run summary and writes --cache-out. A second Ctrl-C (or SIGTERM)
     ends pdu-host at once, without them, also with 130.
)";

// --help: usage, purpose, the options as CLI11 lists them, exit statuses.
class HelpLayout : public CLI::Formatter {
 public:
  HelpLayout() { column_width(20); }
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override {
    return std::string(kUsage) + "\n" + kPurpose + make_groups(app, mode) + "\n" + kExitStatus;
  }
};

// The values that are checked after parsing, as they were typed.
struct TypedValues {
  std::string passes;
  std::string seconds;
  AddressCredentialOptions credentials;
};

constexpr char kCredentials[] =
    "Credentials of --address (a configuration file gives them per device)";

// --address's credential options, each an appSetting member of the same
// name; the secrets only from files or the environment.
void DefineCredentialOptions(CLI::App& app, AddressCredentialOptions& credentials) {
  const struct {
    const char* name;
    std::string* value;
    const char* type;
    const char* help;
  } options[] = {
      {"--snmp-version", &credentials.snmp_version, "V",
       "2c (default) or 3: the SNMP version of --address."},
      {"--community-file", &credentials.community_file, "FILE",
       R"(The v2c community: the first line of FILE (default: the
environment's PDU_COMMUNITY, else tundra).)"},
      {"--security-name", &credentials.security_name, "USER", "The SNMP v3 user."},
      {"--security-level", &credentials.security_level, "L",
       R"(noAuthNoPriv, authNoPriv or authPriv (default: the highest
the given passphrases allow).)"},
      {"--auth-protocol", &credentials.auth_protocol, "P",
       "MD5, SHA (default), SHA-224, SHA-256, SHA-384 or SHA-512."},
      {"--auth-passphrase-file", &credentials.auth_passphrase_file, "FILE",
       R"(The v3 authentication passphrase: the first line of FILE
(default: the environment's PDU_AUTH_PASSPHRASE).)"},
      {"--priv-protocol", &credentials.priv_protocol, "P",
       "DES, AES (default, AES-128), AES-192 or AES-256."},
      {"--priv-passphrase-file", &credentials.priv_passphrase_file, "FILE",
       R"(The v3 privacy passphrase: the first line of FILE
(default: the environment's PDU_PRIV_PASSPHRASE). Neither
passphrase nor community is taken from the command line,
where ps shows it, e.g.
  PDU_AUTH_PASSPHRASE=... PDU_PRIV_PASSPHRASE=... \
  pdu-host --address 192.0.2.10:161 --snmp-version 3 \
    --security-name pdu-ops --auth-protocol SHA-256)"},
      {"--context-name", &credentials.context_name, "NAME", "The v3 context (default: none)."},
  };
  for (const auto& option : options) {
    app.add_option(option.name, *option.value, option.help)
        ->type_name(option.type)
        ->group(kCredentials);
  }
}

// Non-negative decimal integer without sign or spaces, at most kMaxPasses.
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

void DefineOptions(CLI::App& app, Options& options, TypedValues& typed) {
  app.formatter(std::make_shared<HelpLayout>());
  // Unknown arguments are named by ParseOptions, in this program's words.
  app.allow_extras();
  app.add_option("--config", options.config_path, R"(Device configuration, JSON:
  {"devices": [{"id": 7, "address": "127.0.0.1:16161",
                "appSetting": {"b_mode": "2", "use_thread": "0"},
                "thresholdSetting": {}}]}
Each device object is handed whole to that device's Init.
"id" (an integer from 0 to 4294967295, unique) is its data
identifier, "address" (a string) the PDU it polls; an
empty address never samples. appSetting.use_thread is
read like atoi: absent or reading as 0 ("yes" does)
polls the device from the host; any other number lets it
sample on its own thread every 5 s. --help-config lists
every member.)")
      ->type_name("FILE");
  app.add_option("--address", options.address,
                 R"(Instead of --config: one device, id 1, polling the PDU
at ADDR (e.g. 192.0.2.10:161) from the host, with
appSetting b_mode "2" (alarm signals) and use_thread "0".)")
      ->type_name("ADDR");
  app.add_option("--plugin", options.run.plugin_path,
                 R"(Plug-in to load (default: snmp_varno_pdu.so in the folder
of this program).)")
      ->type_name("PATH");
  app.add_option("--passes", typed.passes,
                 R"(Records each device is to publish, 0 to 1000000 (default 1).
A polled device gets RefreshStatus N times; the host waits
for a threaded device until it has published N records.
A record restored by --cache-in does not count.)")
      ->type_name("N");
  app.add_option("--seconds", typed.seconds,
                 R"(How long to wait for the threaded devices, counted from
the end of the set-up, above 0 and at most 86400
(default 30). Polled devices are not bounded by it: each
of their passes ends within the plug-in's SNMP time-out.
A threaded pass still running at the end is cut short.)")
      ->type_name("S");
  app.add_option("--events", options.run.events_path,
                 R"(Write one JSON object per line for every call the
plug-in makes on the host, in call order, e.g.
  {"device":7,"call":"Reset"}
Calls: SendSP (type, length, flag, record as hex), Reset,
CheckThresholdBool (level, id, id2, group, text, active,
seq), DoBatchCheckThreshold (rules, result),
SaveDeviceHistory (length, record as hex).)")
      ->type_name("FILE");
  app.add_option("--cache-in", options.run.cache_in_path,
                 R"(Before polling, hand FILE (exactly 135 bytes: one record,
as --cache-out writes it) to each device's LoadFromCache;
the device publishes it in a record cycle of its own.)")
      ->type_name("FILE");
  app.add_option("--cache-out", options.run.cache_out_path,
                 R"(At the end, write the last record published by any device
(135 bytes) to FILE, for a later --cache-in.)")
      ->type_name("FILE");
  app.add_flag("--explain", options.run.explain,
               R"(After the run, walk each device's table once more the way
the plug-in walks it (with the device's credentials, one
object per GETBULK request) and print one line per record
field: the objects served for its column, their type and
value as net-snmp names them, the field's value in the
device's last record and a verdict: stored, ignored (TYPE)
or not served. Then the served objects no field keeps,
and how the walk ended after how many requests. Exit 1
when a field is not stored, as --survey's "partial".)")
      ->disable_flag_override();
  app.add_option("--record", options.run.record_path,
                 R"(Walk the table once more as --explain does (with or
without it) and write every object served to FILE, headed
by '#' lines: where and when, the SNMP version and user
(never a community or passphrase), the agent's sysName and
sysDescr when it serves them (one GET of pdu-host's own).
FILE ending in .snmprec is in snmpsim's format (lines
OID|TAG|VALUE, sorted by OID), which
  sim/pdu_agent.py --snmpsim --data FILE
serves with snmpsim's snmpsimd. Any other name is in the
simulated PDU's data-file format. Either way,
  sim/pdu_agent.py --data FILE
serves the same table with snmpd.
An object of a type the format cannot hold becomes a '#'
line naming it. One device only.)")
      ->type_name("FILE");
  app.add_flag("--survey", options.survey,
               R"(Instead of running the plug-in: walk each PDU's table
once the way the plug-in walks it, all PDUs at once (PDUs
that do not answer cost one time-out together), and print
one line per PDU: id, address, state (ok, partial, empty
table, no response, refused, cannot open; interrupted
after Ctrl-C), fields stored of 31, unkept (objects
served that no field keeps), requests, seconds and the
first problem (the columns are named as --json's keys);
then a summary. Each PDU is walked with its credentials;
an SNMP v3 PDU that refuses them is refused at once, with
the reason. On a terminal the lines come once all PDUs
are judged, as one aligned table, and standard error
shows how far it has got meanwhile; into a pipe or a file
each PDU's line comes as soon as it is judged (slow ones
last).)")
      ->disable_flag_override();
  app.add_flag("--json", options.json,
               R"(With --survey: print one JSON document instead of the
table, one PDU a line, e.g.
  {"pdus": [{"id": 7, "address": "192.0.2.10:161",
    "state": "ok", "fields": 31, "unkept": 0,
    "requests": 32, "seconds": 0.02, "problem": null}],
  "summary": {"pdus": 1, "seconds": 0.03, "ok": 1,
    "partial": 0, "empty table": 0, "no response": 0,
    "refused": 0, "cannot open": 0, "interrupted": 0}}
"unkept" counts the objects served that no field keeps.
Into a pipe or a file the PDUs come as they are judged.
The exit status is the same.)")
      ->disable_flag_override();
  app.add_flag("--check", options.check,
               R"(Instead of running anything: read the configuration as
the plug-in and the host read it and print one line per
mistake, all of them in one run: the file's structure
(devices, ids, addresses), unknown members, values that
read as something else than written, modes other than
1-3, threshold rules with missing or non-numeric members,
addresses net-snmp would not open or that would surprise,
two devices on one address. Each says what the device
does instead. No PDU is contacted; host names are looked
up.)")
      ->disable_flag_override();
  app.add_flag("--version", options.version,
               R"(Print pdu-host's version and that of the plug-in it would
load (--plugin, or the one beside this program), read from
the file without loading it, and exit; a line on standard
error warns when they differ.)")
      ->disable_flag_override();
  app.set_help_flag("-h,--help", "Show this text and exit.");
  app.add_flag("--help-config", options.help_config,
               R"(Print every configuration member (device and appSetting)
with its values and default, and every --survey state with
what to do, and exit: the reference of the release
archive's README.)")
      ->disable_flag_override();
  DefineCredentialOptions(app, typed.credentials);
}

// An option given with an empty value, e.g. --events "".
void RejectEmpty(const CLI::App& app, const char* name, const std::string& value,
                 const char* what) {
  if (app.count(name) != 0 && value.empty()) {
    throw UsageError(std::string(name) + " needs a non-empty " + what);
  }
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  TypedValues typed;
  CLI::App app;
  DefineOptions(app, options, typed);
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    options.help = true;
    return options;
  } catch (const CLI::ParseError& e) {
    throw UsageError(std::string(e.what()) + " (see --help)");
  }

  if (const std::vector<std::string> extras = app.remaining(); !extras.empty()) {
    const std::string& extra = extras.front();
    if (extra.rfind('-', 0) == 0) {
      throw UsageError("unknown option '" + extra.substr(0, extra.find('=')) + "' (see --help)");
    }
    throw UsageError("unexpected argument '" + extra + "' (options start with --; see --help)");
  }
  const std::pair<const char*, const std::string*> file_options[] = {
      {"--config", &options.config_path},
      {"--plugin", &options.run.plugin_path},
      {"--events", &options.run.events_path},
      {"--cache-in", &options.run.cache_in_path},
      {"--cache-out", &options.run.cache_out_path},
      {"--record", &options.run.record_path},
      {"--community-file", &typed.credentials.community_file},
      {"--auth-passphrase-file", &typed.credentials.auth_passphrase_file},
      {"--priv-passphrase-file", &typed.credentials.priv_passphrase_file}};
  for (const auto& [name, value] : file_options) RejectEmpty(app, name, *value, "file name");
  RejectEmpty(app, "--address", options.address, "address");
  if (app.count("--passes") != 0) options.run.passes = ParsePasses(typed.passes);
  if (app.count("--seconds") != 0) options.run.seconds = ParseSeconds(typed.seconds);

  if (options.help_config) return options;
  if (options.version) {
    for (const char* other :
         {"--config", "--address", "--passes", "--seconds", "--events", "--cache-in", "--cache-out",
          "--explain", "--record", "--survey", "--check"}) {
      if (app.count(other) != 0) {
        throw UsageError(std::string("--version and ") + other +
                         " do not go together (see --help)");
      }
    }
    return options;
  }

  const bool has_config = app.count("--config") != 0;
  const bool has_address = app.count("--address") != 0;
  if (has_config && has_address) {
    throw UsageError("--config and --address do not go together: give one (see --help)");
  }
  if (!has_config && !has_address) {
    throw UsageError("--config FILE or --address ADDR is required (see --help)");
  }
  if (app.count("--json") != 0 && app.count("--survey") == 0) {
    throw UsageError("--json goes with --survey only (see --help)");
  }
  for (const CLI::Option* credential : app.get_options()) {
    if (has_config && credential->get_group() == kCredentials && credential->count() != 0) {
      throw UsageError(credential->get_name() +
                       " goes with --address; a configuration file gives each device its "
                       "credentials in its appSetting (see --help)");
    }
  }
  if (has_address) {
    options.address_credentials = AddressCredentials(typed.credentials);
    const AddressCredentialOptions& given = typed.credentials;
    for (const auto& [option, path] : {std::pair{"--community-file", &given.community_file},
                                       {"--auth-passphrase-file", &given.auth_passphrase_file},
                                       {"--priv-passphrase-file", &given.priv_passphrase_file}}) {
      if (!path->empty()) options.secret_files.push_back({option, *path});
    }
  }
  for (const char* mode : {"--survey", "--check"}) {
    if (app.count(mode) == 0) continue;
    for (const char* other : {"--survey", "--check", "--plugin", "--passes", "--seconds",
                              "--events", "--cache-in", "--cache-out", "--explain", "--record"}) {
      if (other != std::string(mode) && app.count(other) != 0) {
        throw UsageError(std::string(mode) + " and " + other + " do not go together (see --help)");
      }
    }
  }
  return options;
}

std::string HelpText() {
  Options options;
  TypedValues typed;
  CLI::App app;
  DefineOptions(app, options, typed);
  return app.help();
}

}  // namespace pdu_host
