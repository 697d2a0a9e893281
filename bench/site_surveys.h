// pdu-bench, fifth figure: pdu-host --survey of a whole site, three times:
// SNMP v2c with every live PDU on one agent; SNMP v3 authPriv (SHA-256/AES)
// with the live PDUs spread over agents of their own engine IDs; and the
// same with a third of the live PDUs answering with one engine ID from
// agents with boots of their own (v3_site_agents.h). Each prints its wall
// time, PDUs per second, pdu-host's peak memory and the states it judged,
// the v3 ones also their difference from the v2c time.
#pragma once

#include <string>

namespace bench {

// `pdus` PDUs, `dead` of them dead, surveyed by `pdu_host`; false when a
// survey judged a PDU otherwise than the site holds it.
bool SiteSurveys(const std::string& pdu_host, std::size_t pdus, std::size_t dead);

}  // namespace bench
