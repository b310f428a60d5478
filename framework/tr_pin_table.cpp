#include "tr_pin_table.h"

bool TRDescribePin(const TRPinRow* rows, int32_t count, int32_t index, void* member, PinProperties* properties) {
    // The index is a 32-bit pattern taken as unsigned: negative ones are very large.
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(count) || !properties) return false;
    const TRPinRow& row = rows[index];
    properties->variable_address = member;
    properties->direction = row.direction;
    properties->datatype = row.datatype;
    properties->name = row.name;
    if (row.default_value) properties->default_value = row.default_value;
    if (row.datatype_extra) properties->datatype_extra = row.datatype_extra;
    if (row.writes_flags) properties->flags = row.flags;
    return true;
}
