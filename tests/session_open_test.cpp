// Opening a session with its name looked up outside the library lock opens
// what snmp_sess_open opens, and reports word for word what it reports.
#include <gtest/gtest.h>

#include <string>

#include "driver/snmp/session_open.h"

namespace {

// The session's remote address as bytes, or what the failed open printed.
// One thread only: the library needs no lock here.
std::string Open(std::string peer, bool by_the_library) {
  netsnmp_session settings;
  snmp_sess_init(&settings);
  settings.peername = peer.data();
  pdu::WakeWatch no_wake;
  testing::internal::CaptureStderr();
  void* session = by_the_library
                      ? snmp_sess_open(&settings)
                      : pdu::OpenSession(settings, no_wake, "snmpbulkwalk").session.release();
  if (by_the_library && session == nullptr) snmp_sess_perror("snmpbulkwalk", &settings);
  std::string opened = testing::internal::GetCapturedStderr();
  if (session != nullptr) {
    const netsnmp_transport* transport = snmp_sess_transport(session);
    opened.assign(static_cast<const char*>(transport->remote), transport->remote_length);
    snmp_sess_close(session);
  }
  return opened;
}

TEST(SessionOpen, OpensAndReportsAsTheLibraryForEveryFormOfPeer) {
  // Names from /etc/hosts and slow_names.h only: no test waits for a name
  // server. 0.slow6.test has an IPv6 address only.
  for (const char* peer : {"localhost", "127.0.0.1", "localhost:1161", "udp:127.0.0.1:1161",
                           "udp:localhost", "udp6:[::1]:1161", "[::1]:1161", "::1",
                           "udp:127.0.0.1:99999", "127.0.0.1:x161", "0.slow6.test"}) {
    EXPECT_EQ(Open(peer, false), Open(peer, true)) << peer;
  }
}

}  // namespace
