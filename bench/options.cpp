#include "options.h"

#include <exception>
#include <iostream>

namespace bench {

void Usage() {
  std::cerr << "usage: pdu-bench [--passes N (>= 50, default 200)] [--warmup N (default 5)]\n"
               "                 [--devices N (default 200, 0 skips)] [--b-mode 1|2 (default 2)]\n"
               "                 [--plugin PATH] [--armhf-dir DIR] [--armhf-devices N (default "
               "2000)]\n"
               "                 [--armhf-seconds S (default 300)] [--survey-pdus N (default "
               "1000, 0 skips)]\n"
               "                 [--survey-dead N (default 100)] [--survey-host PATH]\n";
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    try {
      if (arg == "--passes") {
        options->passes = std::stoi(value);
      } else if (arg == "--warmup") {
        options->warmup = std::stoi(value);
      } else if (arg == "--devices") {
        options->devices = std::stoi(value);
      } else if (arg == "--b-mode") {
        options->b_mode = value;
      } else if (arg == "--plugin") {
        options->plugin = value;
      } else if (arg == "--armhf-dir") {
        options->armhf_dir = value;
      } else if (arg == "--armhf-devices") {
        options->armhf_devices = std::stoi(value);
      } else if (arg == "--armhf-seconds") {
        options->armhf_seconds = std::stoi(value);
      } else if (arg == "--survey-pdus") {
        options->survey_pdus = std::stoi(value);
      } else if (arg == "--survey-dead") {
        options->survey_dead = std::stoi(value);
      } else if (arg == "--survey-host") {
        options->survey_host = value;
      } else {
        return false;
      }
    } catch (const std::exception&) {
      return false;
    }
  }
  return options->passes >= 50 && options->warmup >= 0 && options->devices >= 0 &&
         options->armhf_devices > 0 && options->armhf_seconds > 0 && options->survey_pdus >= 0 &&
         options->survey_pdus <= 10000 && options->survey_dead >= 0 &&
         (options->survey_pdus == 0 || options->survey_dead < options->survey_pdus) &&
         (options->b_mode == "1" || options->b_mode == "2");
}

}  // namespace bench
