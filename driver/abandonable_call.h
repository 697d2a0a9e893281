// Work that a caller may stop waiting for although the work itself cannot
// be cut short, such as a name lookup.
//
// RunAbandonable runs `work` on a helper thread and waits until it has
// returned or `wake` signals a stop. After a stop the caller goes on at
// once; the helper finishes on its own and then runs `discard` (instead of
// the caller using what `work` made), so both must hold what they share by
// value or shared ownership. Helpers left behind this way belong to the
// plug-in: each is joined once it has finished, when a later one is left
// behind, and the rest when the plug-in is unloaded or the process ends,
// which then waits for their work to end (a lookup: the system resolver's
// own time-out at most) rather than letting a thread run on in code that is
// gone.
//
// Without a descriptor to watch (wake.fd < 0), or when no thread can be
// made, `work` runs on the calling thread, since nothing could stop the wait.
#pragma once

#include <functional>

#include "driver/wake_event.h"

namespace pdu {

// True when `work` returned and its results are the caller's; false after a stop.
bool RunAbandonable(std::function<void()> work, std::function<void()> discard, WakeWatch& wake);

}  // namespace pdu
