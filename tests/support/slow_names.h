// Slow host names: a test program that links slow_names.cpp and exports its
// symbols (or a program preloading it) gets this getaddrinfo for every library
// in it: "<milliseconds>.slow.test" resolves as 127.0.0.1 after that long, or
// at once after ReleaseSlowNames(); other names as usual.
#pragma once

namespace slow_names {
void ReleaseSlowNames();
}  // namespace slow_names
