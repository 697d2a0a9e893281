// Lock rules the compiler checks: Clang's thread-safety attributes, and
// mutex types that carry them. A member marked PDU_GUARDED_BY(m) may be
// touched only with m held, a function marked PDU_REQUIRES(m) called only
// with m held; clang's -Wthread-safety reports a broken rule (make
// check-locks makes it an error). Other compilers ignore the attributes.
//
// pdu::Mutex is a std::mutex whose lock and unlock Clang follows; it still
// serves std::unique_lock and std::condition_variable, which the analysis
// does not follow. Take it with pdu::MutexLock for the analysis to see it held.
#pragma once

#include <mutex>

#if defined(__clang__)
#define PDU_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PDU_THREAD_ANNOTATION(x)
#endif
#define PDU_CAPABILITY(x) PDU_THREAD_ANNOTATION(capability(x))
#define PDU_SCOPED_CAPABILITY PDU_THREAD_ANNOTATION(scoped_lockable)
#define PDU_GUARDED_BY(x) PDU_THREAD_ANNOTATION(guarded_by(x))
#define PDU_REQUIRES(...) PDU_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define PDU_EXCLUDES(...) PDU_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define PDU_ACQUIRE(...) PDU_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define PDU_RELEASE(...) PDU_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define PDU_NO_THREAD_SAFETY_ANALYSIS PDU_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace pdu {

template <typename Std>
class PDU_CAPABILITY("mutex") AnnotatedMutex : public Std {
 public:
  void lock() PDU_ACQUIRE() { Std::lock(); }
  void unlock() PDU_RELEASE() { Std::unlock(); }
};
using Mutex = AnnotatedMutex<std::mutex>;
// The analysis does not model taking it again: a function that takes it is
// not marked as requiring it.
using RecursiveMutex = AnnotatedMutex<std::recursive_mutex>;

template <typename M>
class PDU_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(M& mutex) PDU_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() PDU_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  M& mutex_;
};

}  // namespace pdu
