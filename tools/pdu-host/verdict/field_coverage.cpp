#include "verdict/field_coverage.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace pdu_host {

std::vector<FieldCoverage> CoverFields(const TableWalk& walk) {
  std::vector<FieldCoverage> fields;
  for (const std::uint32_t column : kFieldColumns) {
    FieldCoverage field;
    field.column = column;
    for (const ServedObject& object : walk.objects) {
      if (object.suffix.empty() || object.suffix[0] != column) continue;
      field.served.push_back(&object);
      if (object.stored) field.holds = &object;
    }
    fields.push_back(field);
  }
  return fields;
}

std::vector<const ServedObject*> ObjectsWithoutField(const TableWalk& walk) {
  std::vector<const ServedObject*> objects;
  for (const ServedObject& object : walk.objects) {
    const bool has_field =
        !object.suffix.empty() && std::find(std::begin(kFieldColumns), std::end(kFieldColumns),
                                            object.suffix[0]) != std::end(kFieldColumns);
    if (!has_field) objects.push_back(&object);
  }
  return objects;
}

}  // namespace pdu_host
