// Running the built pdu-host as a separate process for end-to-end tests:
// spawned with posix_spawn, output captured in files, waited for with a
// bound (killed by PID when the bound passes), and a private temporary
// folder for its input and output files.
#pragma once

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include <json/value.h>

namespace pdu_host_run {

struct Result {
  bool finished = false;  // false: killed after the time-out
  int status = -1;        // exit status when it exited normally, else -1
  std::string out;
  std::string err;
  double seconds_after_signal = -1;  // from the signal to the end; -1 without one
};

// When to send the program a signal, once: as soon as its standard output
// holds `out_has`, or `when` returns true (polled every 10 ms).
struct Interrupt {
  std::string out_has;
  std::function<bool()> when;
  int signal = SIGINT;
};

// Where the program's standard error goes: a file, or a terminal (a pseudo
// terminal whose output becomes Result::err, "\n" written as "\r\n").
enum class Stderr { kFile, kTerminal };

// Runs `command` (program path, then its arguments; stdin /dev/null) in
// `work_dir`; throws std::runtime_error when it cannot be spawned. With
// `interrupt_when_out_has`, the program gets SIGINT once, as soon as its
// standard output holds that text; with `interrupt`, as that says.
Result Run(const std::vector<std::string>& command, const std::string& work_dir,
           std::chrono::seconds timeout, Stderr stderr_to = Stderr::kFile,
           std::string interrupt_when_out_has = "", Interrupt interrupt = {});

// `exe` and `args` as a command, behind `launcher` (a space-separated
// command such as a cross build's emulator; empty for none).
std::vector<std::string> Command(const std::string& launcher, const std::string& exe,
                                 const std::vector<std::string>& args);

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path()/name after writing `content` to it.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

// Each line of a JSON-lines file parsed strictly; a line that does not parse
// throws std::runtime_error naming it.
std::vector<Json::Value> ReadJsonLines(const std::string& path);

// The cells of a line laid out in columns: separated by two spaces or more.
std::vector<std::string> Cells(const std::string& line);

// Lowercase hex back to bytes; throws on odd length or another character.
std::vector<unsigned char> FromHex(const std::string& hex);

}  // namespace pdu_host_run
