// The local time to the second, as boost's second_clock::local_time() gives
// it, converted from the system's time once per second: a walk asks for it
// before every request, and the time zone conversion costs more than the
// rest of its bookkeeping for the request.
#pragma once

#include <ctime>

#include <boost/date_time/c_time.hpp>
#include <boost/date_time/posix_time/conversion.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace pdu {

class LocalSecondClock {
 public:
  boost::posix_time::ptime Now() {
    const std::time_t second = std::time(nullptr);
    if (second != second_) {
      std::tm parts{};
      boost::date_time::c_time::localtime(&second, &parts);
      now_ = boost::posix_time::ptime_from_tm(parts);
      second_ = second;
    }
    return now_;
  }

 private:
  std::time_t second_ = -1;
  boost::posix_time::ptime now_;
};

}  // namespace pdu
