// A module's pins as a table: one row per pin, in index order, and the member each one is bound to.
// TRDescribePin answers GetPinProperties from such a table, so that a module's pin description is
// data rather than code.
#ifndef TR_PIN_TABLE_H
#define TR_PIN_TABLE_H

#include <cstdint>

#include "trmod_interface.h"

// One pin. A null text, or writes_flags false, marks a field the row leaves as the caller had it.
// Texts are constants of the library, handed to the host by address and never copied or freed:
// - default_value: for a DT_FSAMPLE pin a number in volts (a sample value of 1.0 is 10 V); for a
//   DT_LIST pin the value (not the name) of one of its choices.
// - datatype_extra: for a DT_FSAMPLE pin the range, four comma-separated numbers in volts,
//   "top,bottom,display top,display bottom": the values the pin's signal is meant to take, from
//   bottom to top, then the span the host's control for the pin shows (as "10,-10,10,-10"). For a
//   DT_LIST pin the choices, "name=value,name=value" with 16-bit values (as "sine=0,triangle=1").
// - flags: PIN_FLAG_REPEAT on the last row only; every other bit is the host's.
// The module never parses its texts; trhost validate checks their form.
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
// `member` is the address of the module member the pin is bound to (null for none): the host writes a
// buffer address there (DT_FSAMPLE: the member is a float*) or a 16-bit list value (DT_LIST: an
// int16_t or uint16_t). The record is the caller's. Called from a module's GetPinProperties, on
// whatever thread calls that; allocates nothing.
bool TRDescribePin(const TRPinRow* rows, int32_t count, int32_t index, void* member, PinProperties* properties);

#endif  // TR_PIN_TABLE_H
