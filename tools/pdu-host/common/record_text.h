// A record's values as pdu-host writes them as text: the time stamp the
// plug-in puts in a record, and a float field written so that it reads back
// as the same float (record reports, --explain, the simulator's data file).
#pragma once

#include <string>

namespace pdu_host {

// "YYYY-MM-DD HH:MM:SS" from the record's 7-byte stamp (year 16-bit little
// endian, month, day, hour, minute, second); "no time stamp" when all zero.
std::string FormatTimeStamp(const unsigned char* ttime);

// The fewest significant digits that read back as the same float, whether
// read as a float or as a double rounded to float, in %g form with whole
// numbers below 1e15 written out ("2301", "500", "49.98", "1e+15", "nan",
// "-inf").
std::string FormatValue(float value);

}  // namespace pdu_host
