// Alarm evaluation: in mode 2 every record cycle reports all fourteen alarm
// signals to the host, active when their field is non-zero (NaN included).
#include <cstdint>
#include <mutex>
#include <string>

#include "driver/pdu_alarms.h"
#include "driver/snmp_varno_pdu.h"

namespace pdu {

std::string AlarmSignalId(unsigned sequence) {
  // std::to_string writes digits alone, whatever the host's global locale.
  std::string digits = std::to_string(sequence);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return "12083017" + digits + '0';
}

}  // namespace pdu

// Called by the cycle, which holds the device lock; a host calling it
// directly takes the lock here, so it never runs beside a cycle.
void SNMP_VARNO_PDU::RunCheckThreshold() {
  std::lock_guard<std::recursive_mutex> lock(cycle_mutex_);
  if (b_mode_ != 2) return;
  for (const pdu::AlarmSignal& signal : pdu::kAlarmSignals) {
    const std::string id = pdu::AlarmSignalId(signal_seq_);
    const std::string id2 = id;
    const std::string group = pdu::kAlarmGroupText;
    const std::string text = signal.text;
    // != is a quiet comparison: -0.0 is inactive, NaN active.
    const bool active = pdu::ReadColumn(data_, signal.offset) != 0.0f;
    // The member already holds the next value while the host is called.
    const std::uint16_t sequence = signal_seq_;
    signal_seq_ = static_cast<std::uint16_t>(sequence + 1);
    CheckThresholdBool(2, id, id2, group, text, active, sequence);
  }
}
