#include "fuzz_values.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Sample rates above this are folded below it.
constexpr float kMaxCheapRate = 200000.0f;
// From here on 30 x R sine entries no longer fit in a 32-bit address space.
constexpr float kFirstOverflowRate = 35791395.0f;

// The cheap rates first: an empty or short input opens at 8000 Hz.
const float kSpecialRates[] = {
    8000.0f,
    44100.0f,
    48000.0f,
    96000.0f,
    192000.0f,
    22050.0f,
    881.0f,
    882.0f,
    1000.0f,
    1.0f,
    1.5f,
    0.999f,
    0.0f,
    -0.0f,
    -44100.0f,
    2.0f,
    30.0f,
    std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::max(),
    std::numeric_limits<float>::denorm_min(),
    1e30f,
    3e9f,
    2147483648.0f,
    2147483520.0f,
    71582788.0f,
    71582792.0f,
    40000000.0f,
    kFirstOverflowRate,
};

const float kSpecialValues[] = {
    0.0f,
    -0.0f,
    1.0f,
    -1.0f,
    0.1f,
    0.5f,
    9.0f,
    -9.0f,
    20.0f,
    2.0f,
    0.001f,
    4.41f,
    8820.0f,
    36.0f,
    -36.0f,
    360.0f,
    -360.0f,
    1e10f,
    -1e10f,
    2147483648.0f,
    -2147483648.0f,
    0.0033333334f,
    0.0033333332f,
    std::numeric_limits<float>::denorm_min(),
    std::numeric_limits<float>::min(),
    std::numeric_limits<float>::max(),
    std::numeric_limits<float>::lowest(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::quiet_NaN(),
    -std::numeric_limits<float>::quiet_NaN(),
    FloatFromBits(0x7F800001u),  // signalling NaN
};

template <typename T, size_t N>
constexpr uint32_t CountOf(const T (&)[N]) {
    return static_cast<uint32_t>(N);
}

}  // namespace

float FloatFromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float DecodeSampleRate(ByteReader& in) {
    switch (in.Choice(3)) {
        case 0: return kSpecialRates[in.Choice(CountOf(kSpecialRates))];
        case 1:  // whole rates up to 16,383 Hz: every period length, cheaply
            return static_cast<float>(in.U16() % 16384);
        default: {
            float rate = FloatFromBits(in.U32());
            if (std::isfinite(rate) && rate > kMaxCheapRate && rate < kFirstOverflowRate) {
                rate = std::fmod(rate, kMaxCheapRate);
            }
            return rate;
        }
    }
}

float SpecialValue(ByteReader& in) { return kSpecialValues[in.Choice(CountOf(kSpecialValues))]; }

void FillSignal(ByteReader& in, float* data, size_t length) {
    switch (in.Choice(6)) {
        case 0: {  // one awkward value throughout
            float value = SpecialValue(in);
            for (size_t i = 0; i < length; ++i) data[i] = value;
            break;
        }
        case 1: {  // one raw value throughout
            float value = FloatFromBits(in.U32());
            for (size_t i = 0; i < length; ++i) data[i] = value;
            break;
        }
        case 2: {  // a ramp
            float from = FloatFromBits(in.U32()), step = FloatFromBits(in.U32());
            for (size_t i = 0; i < length; ++i) data[i] = from + step * static_cast<float>(i);
            break;
        }
        case 3: {  // awkward values mixed sample by sample
            for (size_t i = 0; i < length; ++i) data[i] = SpecialValue(in);
            break;
        }
        case 4: {  // a seeded random walk around an awkward centre
            float centre = SpecialValue(in);
            uint32_t state = in.U32() | 1u;
            for (size_t i = 0; i < length; ++i) {
                state = state * 1664525u + 1013904223u;
                data[i] = centre + static_cast<float>(static_cast<int32_t>(state) >> 8) * 1e-6f;
            }
            break;
        }
        default: {  // a sine sweep: centre + depth x sin(rate x i)
            float centre = SpecialValue(in), depth = SpecialValue(in);
            float rate = static_cast<float>(in.U16()) * 1e-4f;
            for (size_t i = 0; i < length; ++i) {
                data[i] = centre + depth * std::sin(rate * static_cast<float>(i));
            }
            break;
        }
    }
}
