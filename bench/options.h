// pdu-bench: its command line. Every option takes a value; ParseOptions
// rejects unknown options, missing values and values out of range, and
// Usage prints the accepted ones with their defaults to standard error.
#pragma once

#include <string>

namespace bench {

struct Options {
  std::string plugin = SNMP_VARNO_PDU_PLUGIN;
  int passes = 200;  // measured passes of each side
  int warmup = 5;    // warm-up pairs
  int devices = 200;
  std::string b_mode = "2";
  std::string armhf_dir;  // an armhf build folder with pdu-host and sysroot; empty skips
  int armhf_devices = 2000;
  int armhf_seconds = 300;                 // wait for every armhf device's first record
  int survey_pdus = 1000;                  // PDUs of the surveyed site; 0 skips the survey
  int survey_dead = 100;                   // of them dead
  std::string survey_host = PDU_HOST_EXE;  // the pdu-host that surveys it
};

void Usage();
bool ParseOptions(int argc, char** argv, Options* options);

}  // namespace bench
