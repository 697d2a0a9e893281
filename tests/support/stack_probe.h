// Measuring how much stack some work needs: the work runs on a thread whose
// stack was filled with a pattern first, and the bytes no longer holding the
// pattern afterwards are the ones it touched.
#pragma once

#include <cstddef>
#include <functional>

namespace stack_probe {

// Runs `work` on a new thread with a stack of `stack_bytes` and returns the
// deepest extent of that stack it used, in bytes from the top (the thread's
// own start-up and its thread-local storage included). Throws
// std::system_error when the thread cannot be made.
std::size_t DeepestStackUse(std::size_t stack_bytes, const std::function<void()>& work);

// The stack size of the calling thread (0 when it cannot be read).
std::size_t CurrentThreadStackBytes();

}  // namespace stack_probe
