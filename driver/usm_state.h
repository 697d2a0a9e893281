// The process-wide state of SNMP v3 (the user-based security model, USM):
// what net-snmp keeps once per process, and what the driver keeps beside it.
// Every function here must be called with NetSnmpMutex() held.
//
// net-snmp keeps one user entry per PDU engine and user name, holding the
// keys localised to that engine, and one record per engine of its boots and
// time; the requests of every session read them. So two devices polling the
// same PDU as the same user share one entry, and the engine's time learned
// by one serves the other. Two devices that name the same user on the same
// PDU with other protocols or passphrases cannot both be served: the first
// to claim the entry keeps it (ClaimUsmUser), and the other is told. A
// configuration whose claims are all released (the device was deleted or
// configured anew) gives the entry up to the next claim, so a corrected
// passphrase takes effect without a restart.
#pragma once

#include <string>

namespace pdu {

// Readies net-snmp for v3 client sessions, once per process: registers USM
// and makes the state that reading its configuration files would make (the
// local engine ID, the salts, the user that engine discovery answers to),
// without reading any file or changing the process's locale. Does nothing
// when the process initialised net-snmp for v3 already.
void PrepareUsm();

// The engine ID (bytes) learned for the peer name `peer`; empty when none.
std::string KnownEngineId(const std::string& peer);
void RememberEngineId(const std::string& peer, const std::string& engine_id);
void ForgetEngineId(const std::string& peer);

// Claims net-snmp's entry for `user` on `engine_id` for `owner`, whose keys
// are `key_identity` (SessionSecurity::KeyIdentity). False when other owners
// hold it with other keys. When the entry was made from other keys that no
// owner holds any more, it is removed, so that the next session opened
// makes it anew from the claimant's keys.
bool ClaimUsmUser(const void* owner, const std::string& engine_id, const std::string& user,
                  const std::string& key_identity);
// Releases every claim of `owner`.
void ReleaseUsmUsers(const void* owner);

}  // namespace pdu
