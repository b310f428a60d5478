#include "input_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace trhost::validate {

void InputSignal::Fill(float* block, int32_t count, Random& random) const {
    if (kind == Kind::kStream) {
        std::copy(stream, stream + count, block);
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        switch (kind) {
            case Kind::kConstant: block[i] = a; break;
            case Kind::kAlternating: block[i] = (i % 2 == 0) ? a : b; break;
            case Kind::kRandom: block[i] = static_cast<float>(random.Uniform(a, b)); break;
            case Kind::kRamp:
                block[i] = count > 1 ? static_cast<float>(a + (static_cast<double>(b) - a) * i / (count - 1)) : a;
                break;
            case Kind::kStream: break;
        }
    }
}

std::string SampleText(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string InputSignal::Describe() const {
    switch (kind) {
        case Kind::kConstant: return "const " + SampleText(a);
        case Kind::kAlternating: return "alternating " + SampleText(a) + "/" + SampleText(b);
        case Kind::kRandom: return "random " + SampleText(a) + ".." + SampleText(b);
        case Kind::kRamp: return "ramp " + SampleText(a) + ".." + SampleText(b);
        case Kind::kStream: return "a moving stream";
    }
    return "";
}

float InRangeSample(const DrivenPin& pin, double value) {
    float sample = static_cast<float>(value);
    if (sample < pin.low) sample = std::nextafter(sample, INFINITY);
    if (sample > pin.high) sample = std::nextafter(sample, -INFINITY);
    return sample;
}

InputSignal RandomInRangeSignal(const DrivenPin& pin, Random& random) {
    auto inside = [&](double value) { return InRangeSample(pin, value); };
    float low = inside(pin.low), high = inside(pin.high);
    switch (random.Between(0, 6)) {
        case 0: return InputSignal::Constant(inside(pin.default_sample));
        case 1: return InputSignal::Constant(low);
        case 2: return InputSignal::Constant(high);
        case 3: return InputSignal::Constant(inside((pin.low + pin.high) / 2));
        case 4: return {InputSignal::Kind::kRandom, low, high};
        case 5: return {InputSignal::Kind::kRamp, low, high};
        default: return InputSignal::Alternating(low, high);
    }
}

}  // namespace trhost::validate
