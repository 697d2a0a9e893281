// The PDU's fourteen alarm signals: which record field feeds each, its alarm
// text, and the identifier a signal is reported under.
#pragma once

#include <cstddef>
#include <string>

namespace pdu {

struct AlarmSignal {
  unsigned column;     // PDU table column
  std::size_t offset;  // field offset in the record
  const char* text;    // alarm text, UTF-8
};

// In evaluation order; a signal's sequence value in a cycle is its position + 1.
inline constexpr AlarmSignal kAlarmSignals[] = {
    {11, 40, "总电流预警 L1"},        {12, 44, "总电压告警 L1"},
    {13, 48, "回路电压告警 C1"},      {14, 52, "回路电压告警 C2"},
    {15, 56, "总电流告警 L1"},        {16, 60, "回路电流告警 C1"},
    {17, 64, "回路电流告警 C2"},      {18, 68, "第一路断路器告警标识"},
    {19, 72, "第二路断路器告警标识"}, {20, 76, "其他故障"},
    {28, 108, "支路1电流预警"},       {29, 112, "支路1电流告警"},
    {30, 116, "支路1超限断电状态"},   {341, 120, "通讯状态"},
};
inline constexpr std::size_t kAlarmSignalCount = sizeof kAlarmSignals / sizeof kAlarmSignals[0];
static_assert(kAlarmSignalCount == 14, "fourteen alarm signals");

// Group text every signal is reported with.
inline constexpr const char kAlarmGroupText[] = "专用空调其他告警";

// "12083017", the sequence value zero-padded to at least three digits, "0".
std::string AlarmSignalId(unsigned sequence);

}  // namespace pdu
