// get_ttime: the host's 7-byte record time stamp.
//
// Records carry the stamp as an opaque block of seven bytes; the host alone
// gives them meaning. Implemented by the host framework.
#pragma once

#include <array>

#include <boost/date_time/posix_time/posix_time_types.hpp>

using ttime_t = std::array<unsigned char, 7>;

ttime_t get_ttime(boost::posix_time::ptime time);
