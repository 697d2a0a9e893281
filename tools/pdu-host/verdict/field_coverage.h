// Which of the record's 31 fields a walk of a PDU's table fills: for each
// field the objects served for its column and the one the plug-in's walk
// would leave in the field (the last stored), and the objects no field keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "walk/table_walk.h"

namespace pdu_host {

// The record's fields by column number, in record order.
inline constexpr std::uint32_t kFieldColumns[] = {2,  3,  4,  5,  6,  7,  8,  9,   10, 11, 12,
                                                  13, 14, 15, 16, 17, 18, 19, 20,  21, 22, 23,
                                                  24, 25, 26, 27, 28, 29, 30, 341, 342};
inline constexpr std::size_t kFieldCount = sizeof kFieldColumns / sizeof kFieldColumns[0];

struct FieldCoverage {
  std::uint32_t column = 0;
  std::vector<const ServedObject*> served;  // in the order served
  const ServedObject* holds = nullptr;      // the last one stored; null: field not written
};

// One entry per field, in record order; pointers into `walk`.
std::vector<FieldCoverage> CoverFields(const TableWalk& walk);

// Served objects whose column has no field.
std::vector<const ServedObject*> ObjectsWithoutField(const TableWalk& walk);

}  // namespace pdu_host
