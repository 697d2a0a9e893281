// The reference host's time stamp: year (16-bit little-endian), month, day,
// hour, minute, second. A time that is not a date gives seven zero bytes.
#include "qtx/ttime.h"

#include <boost/date_time/posix_time/posix_time.hpp>

ttime_t get_ttime(boost::posix_time::ptime time) {
  ttime_t stamp{};
  if (time.is_special()) return stamp;
  const auto date = time.date();
  const auto clock = time.time_of_day();
  const unsigned year = static_cast<unsigned>(date.year());
  stamp[0] = static_cast<unsigned char>(year & 0xFF);
  stamp[1] = static_cast<unsigned char>(year >> 8);
  stamp[2] = static_cast<unsigned char>(date.month());
  stamp[3] = static_cast<unsigned char>(date.day());
  stamp[4] = static_cast<unsigned char>(clock.hours());
  stamp[5] = static_cast<unsigned char>(clock.minutes());
  stamp[6] = static_cast<unsigned char>(clock.seconds());
  return stamp;
}
