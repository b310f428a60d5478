// A module's pins as a table: one row per pin, in index order, and the member each one is bound to.
// TRDescribePin answers GetPinProperties from such a table, so that a module's pin description is
// data rather than code.
#ifndef TR_PIN_TABLE_H
#define TR_PIN_TABLE_H

#include <cstdint>

#include "trmod_interface.h"

// One pin. A null text, or writes_flags false, marks a field the row leaves as the caller had it.
// Defaults and ranges are texts in volts (a sample value of 1.0 is 10 V) that the module never parses.
struct TRPinRow {
    const char* name;
    int32_t direction;
    int32_t datatype;
    const char* default_value;
    const char* datatype_extra;
    bool writes_flags = false;
    int32_t flags = 0;
};

// Fills `properties` from row `index` of the `count` rows and answers true, or answers false and
// writes nothing: for a null record and for every index outside the table, negative ones included.
// `member` is the address of the module member the pin is bound to (null for none).
bool TRDescribePin(const TRPinRow* rows, int32_t count, int32_t index, void* member, PinProperties* properties);

#endif  // TR_PIN_TABLE_H
