// The values fuzz targets feed a module: sample rates and pin signals drawn from tables of awkward
// cases (unusable rates, non-finite and huge samples) as well as from raw bytes.
#ifndef FUZZ_VALUES_H
#define FUZZ_VALUES_H

#include <cstddef>
#include <cstdint>

#include "byte_reader.h"

float FloatFromBits(uint32_t bits);

// A host sample rate: a common or unusable one from a table, a whole rate below 16,384 Hz, or raw
// bits. Rates that are usable but would build tables of hundreds of megabytes are folded down: they
// are slow and prove nothing the lower rates do not.
float DecodeSampleRate(ByteReader& in);

// One awkward sample value: zeros, ones, default-like values, limits, denormals, infinities, NaNs.
float SpecialValue(ByteReader& in);

// Fills samples [0, length) with one pattern: a constant (awkward or raw), a ramp, awkward values
// sample by sample, a random walk, or a sine sweep (audio-rate modulation).
void FillSignal(ByteReader& in, float* data, size_t length);

#endif  // FUZZ_VALUES_H
