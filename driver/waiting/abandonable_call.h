// Work that a caller may stop waiting for although the work itself cannot
// be cut short, such as a name lookup.
//
// RunAbandonable runs `work` on a helper thread and waits until it has
// returned or `wake` signals a stop. After a stop the caller goes on at
// once; the helper finishes on its own and then runs `discard` (instead of
// the caller using what `work` made), so both must hold what they share by
// value or shared ownership.
//
// A helper left behind this way is detached: nothing waits for it, neither a
// later call nor the plug-in's unloading, which therefore never waits for a
// lookup (nor for the dynamic loader's lock that a lookup may need while
// dlclose holds it). Since the helper runs on in this library's code, the
// first helper left behind keeps the library loaded for the rest of the
// process (it is opened once more with RTLD_NODELETE); a process that never
// leaves one behind unloads it as ever. Where the library cannot be kept
// loaded, a stop waits for the work to end instead.
//
// Without a descriptor to watch (wake.fd < 0), or when no thread can be
// made, `work` runs on the calling thread, since nothing could stop the wait.
#pragma once

#include <functional>

#include "driver/waiting/wake_event.h"

namespace pdu {

// True when `work` returned and its results are the caller's; false after a stop.
bool RunAbandonable(std::function<void()> work, std::function<void()> discard, WakeWatch& wake);

}  // namespace pdu
