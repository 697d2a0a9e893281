#include "walk/descriptor_budget.h"

#include <dirent.h>
#include <sys/resource.h>

#include <cstddef>

#include "walk/name_lookups.h"

namespace pdu_host {
namespace {

// Beside the walks: standard streams, the lookups' wake-up descriptor,
// sockets and files the resolver opens on each lookup thread, and files
// net-snmp reads.
constexpr std::size_t kReserve = 16 + 4 * kLookupThreads;

// Descriptors open now (at least the standard three when that cannot be
// told).
std::size_t OpenDescriptors() {
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return 3;
  std::size_t count = 0;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(folder);
  return count;  // the folder's own descriptor counts as room to spare
}

}  // namespace

DescriptorBudget RaiseDescriptorLimit() {
  rlimit limit{1024, 1024};  // the usual soft limit, should it not be told
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  DescriptorBudget budget;
  budget.limit = limit.rlim_cur == RLIM_INFINITY ? static_cast<std::size_t>(1) << 20
                                                 : static_cast<std::size_t>(limit.rlim_cur);
  const std::size_t taken = OpenDescriptors() + kReserve;
  budget.walks = budget.limit > taken ? budget.limit - taken : 1;
  return budget;
}

}  // namespace pdu_host
