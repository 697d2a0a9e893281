// Slow host names: a test program that links slow_names.cpp and exports its
// symbols (or a program preloading it) gets this getaddrinfo for every library
// in it: "<milliseconds>.slow.test" resolves as 127.0.0.1 after that long, or
// at once after ReleaseSlowNames(), and then loads a library, as glibc loads
// an NSS module lazily after a slow step; "<milliseconds>.slow6.test" does the
// same but resolves only as ::1, and "<milliseconds>.nowhere.test" does not
// resolve (EAI_NONAME) after that long. Other names resolve as usual.
#pragma once

namespace slow_names {
void ReleaseSlowNames();
// Lookups of slow names begun, and returned, so far.
int SlowLookupsBegun();
int SlowLookupsReturned();
}  // namespace slow_names
