// SizedThread: the stack it was asked for, and std::thread's failure when a
// thread cannot be made.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <system_error>

#include "driver/waiting/sized_thread.h"
#include "support/stack_probe.h"

namespace {

TEST(SizedThread, RunsOnTheStackAskedForAndThrowsLikeStdThreadWhenItCannotStart) {
  std::size_t stack_bytes = 0;
  pdu::SizedThread thread;
  thread.Start(256 * 1024,
               [&stack_bytes] { stack_bytes = stack_probe::CurrentThreadStackBytes(); });
  EXPECT_TRUE(thread.joinable());
  thread.join();
  EXPECT_FALSE(thread.joinable());
#ifndef PDU_SANITIZER_BUILD
  EXPECT_EQ(stack_bytes, 256u * 1024);
#else
  EXPECT_GE(stack_bytes, 256u * 1024);  // sanitizers enlarge the stacks of the threads they run
#endif

  bool ran = false;
  pdu::SizedThread impossible;
  const std::size_t no_such_stack = std::numeric_limits<std::size_t>::max() & ~std::size_t{0xFFFF};
  EXPECT_THROW(impossible.Start(no_such_stack, [&ran] { ran = true; }), std::system_error);
  EXPECT_FALSE(impossible.joinable());
  impossible.join();  // nothing to join
  EXPECT_FALSE(ran);
}

}  // namespace
