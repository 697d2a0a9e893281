// pdu-bench: what the kernel says about this process, the machine's UDP
// and the agent's processes, read from /proc. A process that ends while its
// entry is read is left out, not an error.
#pragma once

#include <sys/types.h>

#include <string>

namespace bench {

// CPU seconds of this process (all threads) so far.
double ProcessCpuSeconds();

// "Name:  value kB" lines of /proc/self/status, or of /proc/PID/status for
// another process; -1 when absent.
long StatusField(const std::string& name, pid_t pid = 0);

// The machine's count of UDP datagrams dropped for a full receive buffer
// (RcvbufErrors in /proc/net/snmp); -1 when unknown.
long UdpReceiveBufferErrors();

// User plus system CPU seconds of `root` and all its descendants (the agent
// script, its snmpd and snmpd's pass_persist backend).
double ProcessTreeCpuSeconds(pid_t root);

}  // namespace bench
