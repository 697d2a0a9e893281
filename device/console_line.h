// Console trace lines: each line is written whole, ended and flushed.
//
// Devices trace from several threads at once; handing the stream one
// complete string keeps a line from being split by another thread's output.
#pragma once

#include <ostream>
#include <string>

inline void WriteConsoleLine(std::ostream& stream, std::string line) {
  line += '\n';
  stream << line << std::flush;
}
