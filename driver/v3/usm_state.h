// The process-wide state of SNMP v3 (the user-based security model, USM):
// what net-snmp keeps once per process, and what the driver keeps beside it.
// Its functions are called with NetSnmpMutex() held (PDU_REQUIRES).
//
// net-snmp keeps one record of boots and time per engine ID, and one user
// entry (the keys localised to the engine) per engine ID and user name; the
// requests of every session read them. PDUs made from one firmware image may
// answer with one engine ID, each with boots and time of its own, and each may
// know a user by other passphrases; held in net-snmp's single record and
// entry, they would overwrite each other's and refuse each other's answers.
// So the driver keeps them apart: the boots and time per PDU (its transport
// address, whatever name reached it), and the user entries per security
// (session_security.h) and engine. While one PDU alone answers with an
// engine ID, and one security alone uses a user on it, net-snmp keeps them
// as it always does. Once a second PDU or security appears (or net-snmp
// holds someone else's record or entry), UsmLoan hands net-snmp a session's
// own for the length of one library call and takes back what the call
// learned; between calls, net-snmp's lists then hold what they held before,
// so a host that uses net-snmp itself finds its own state unchanged.
#pragma once

#include <string>
#include <vector>

#include "driver/snmp/netsnmp.h"
#include "driver/v3/session_security.h"

namespace pdu {

// Readies net-snmp for v3 client sessions, once per process: registers USM
// and makes the state that reading its configuration files would make (the
// local engine ID, the salts, the user that engine discovery answers to),
// without reading any file or changing the process's locale. Does nothing
// when the process initialised net-snmp for v3 already.
void PrepareUsm() PDU_REQUIRES(NetSnmpMutex());

// The engine ID (bytes) learned for the PDU of the open session `session`;
// empty when none.
std::string KnownEngineId(void* session) PDU_REQUIRES(NetSnmpMutex());
// After a report of an unknown engine, or no answer: the next session to the
// PDU discovers its engine anew and takes boots and time from the PDU, as
// net-snmp's tools do when they start.
void ForgetPeerEngine(void* session) PDU_REQUIRES(NetSnmpMutex());

// Frees the user entries made from `security`'s keys (a loan makes them when
// it first needs one); its destructor calls it.
void ReleaseUsmUsers(const SessionSecurity* security) PDU_REQUIRES(NetSnmpMutex());

// The PDUs other than the session's that answered with its engine ID, by
// the names they were reached by.
std::vector<std::string> PeersSharingEngine(void* session) PDU_REQUIRES(NetSnmpMutex());

// An engine ID as net-snmp's tools print it: "0x80001f8880c0ffee...".
std::string EngineIdText(const std::string& engine_id);

// What net-snmp's record of an engine holds: its boots and time as received,
// when (net-snmp's local engine time), and whether from an authenticated
// message.
struct EngineClock {
  u_int boots = 0;
  u_int time = 0;
  time_t received = 0;
  u_int authenticated = 0;
};

// For one library call on the v3 session `session`, made with `security`:
// lends net-snmp the boots and time learned from the session's PDU and the
// user entry of `security` for its engine, and keeps what the call taught
// (the boots and time of an answer; after engine discovery, the engine ID and
// the boots and time the report brought). The session's engine is the one it
// holds when the loan is made.
//
// net-snmp finds an engine's record by hashing its ID with a digest, which
// costs more than the rest of a loan: a loan of a PDU alone on its engine
// does not look it up at all, and one that lends it looks it up once and
// keeps it to the end (net-snmp frees such records only as it shuts down,
// never within a call). Nothing is kept from one loan to the next, since a
// host or another library in the process may shut net-snmp down between two.
class UsmLoan {
 public:
  UsmLoan(void* session, const SessionSecurity& security) PDU_REQUIRES(NetSnmpMutex());
  ~UsmLoan() PDU_REQUIRES(NetSnmpMutex());
  UsmLoan(const UsmLoan&) = delete;
  UsmLoan& operator=(const UsmLoan&) = delete;

 private:
  // After engine discovery: what the report taught of the PDU's engine.
  void Discovered(const std::string& engine_id) PDU_REQUIRES(NetSnmpMutex());

  void* session_;
  std::string peer_key_;   // the session's PDU, as the driver keys what it learned of it
  std::string engine_id_;  // empty while the engine is being discovered
  struct enginetime_struct* record_ = nullptr;  // net-snmp's record for the engine
  bool had_record_ = false;
  bool lending_clock_ = false;           // the record is lent for this call
  EngineClock before_;                   // net-snmp's record for the engine, as it was
  struct usmUser* lent_ = nullptr;       // in net-snmp's list for the loan
  struct usmUser* displaced_ = nullptr;  // out of it for the loan
};

// Runs `call`, one library call on `session` that may build or read a
// message, as the session needs: for a v3 session made with `security`,
// under NetSnmpMutex() and a UsmLoan; otherwise as it is.
template <typename Call>
auto OnSession(void* session, const SessionSecurity& security, Call&& call) {
  if (!security.v3()) return call();
  const MutexLock lock(NetSnmpMutex());
  const UsmLoan loan(session, security);
  return call();
}

}  // namespace pdu
