// Alarm evaluation: in mode 2 every record cycle reports all fourteen alarm
// signals to the host, active when their field is non-zero (NaN included).
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/record/pdu_alarms.h"
#include "driver/snmp_varno_pdu.h"

namespace pdu {

std::string AlarmSignalId(unsigned sequence) {
  // std::to_string writes digits alone, whatever the host's global locale.
  const std::string digits = std::to_string(sequence);
  std::string id = "12083017";
  if (digits.size() < 3) id.append(3 - digits.size(), '0');
  id += digits;
  id += '0';
  return id;
}

}  // namespace pdu

namespace {

// The texts every cycle hands the host, made once rather than per signal
// and cycle. Never destroyed: a threaded device may run a cycle while the
// process ends, after static destructors would have run.
struct AlarmTexts {
  std::string group = pdu::kAlarmGroupText;
  std::string signal[pdu::kAlarmSignalCount];

  AlarmTexts() {
    for (std::size_t i = 0; i < pdu::kAlarmSignalCount; ++i) signal[i] = pdu::kAlarmSignals[i].text;
  }
};

const AlarmTexts& Texts() {
  static const auto* texts = new AlarmTexts;
  return *texts;
}

}  // namespace

// Called by the cycle, which holds the device lock; a host calling it
// directly takes the lock here, so it never runs beside a cycle.
void SNMP_VARNO_PDU::RunCheckThreshold() {
  const pdu::MutexLock lock(cycle_mutex_);
  if (b_mode_ != 2) return;
  const AlarmTexts& texts = Texts();
  for (std::size_t i = 0; i < pdu::kAlarmSignalCount; ++i) {
    const std::string id = pdu::AlarmSignalId(signal_seq_);
    const std::string id2 = id;
    // != is a quiet comparison: -0.0 is inactive, NaN active.
    const bool active = pdu::ReadColumn(data_, pdu::kAlarmSignals[i].offset) != 0.0f;
    // The member already holds the next value while the host is called.
    const std::uint16_t sequence = signal_seq_;
    signal_seq_ = static_cast<std::uint16_t>(sequence + 1);
    CheckThresholdBool(2, id, id2, texts.group, texts.signal[i], active, sequence);
  }
}
