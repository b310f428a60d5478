#include "input_streams.h"

#include <algorithm>
#include <cmath>

#include "input_signal.h"

namespace trhost::validate {

namespace {

constexpr double kTwoPi = 6.283185307179586;

std::vector<float> MovingStream(const DrivenPin& pin, int32_t length, Random& random) {
    const double low = InRangeSample(pin, pin.low), high = InRangeSample(pin, pin.high);
    auto anywhere = [&] { return random.Uniform(low, high); };
    std::vector<float> stream(static_cast<size_t>(length));
    int32_t at = 0;
    while (at < length) {
        int32_t end = std::min(length, at + random.Between(8, 400));
        double a = anywhere(), b = anywhere();
        switch (random.Between(0, 4)) {
            case 0: {  // a sine about a random centre, as wide as the range allows there
                double centre = a, width = std::min(centre - low, high - centre) * random.Uniform(0.2, 1.0);
                double step = kTwoPi * random.Uniform(0.0005, 0.2), phase = random.Uniform(0.0, kTwoPi);
                for (int32_t i = at; i < end; ++i)
                    stream[i] = static_cast<float>(centre + width * std::sin(phase + step * (i - at)));
                break;
            }
            case 1:  // noise between two values
                for (int32_t i = at; i < end; ++i)
                    stream[i] = static_cast<float>(random.Uniform(std::min(a, b), std::max(a, b)));
                break;
            case 2:  // a ramp from one value to another
                for (int32_t i = at; i < end; ++i) stream[i] = static_cast<float>(a + (b - a) * (i - at) / (end - at));
                break;
            case 3:  // steps
                for (int32_t i = at; i < end;) {
                    float held = static_cast<float>(anywhere());
                    for (int32_t n = random.Between(1, 16); n > 0 && i < end; --n) stream[i++] = held;
                }
                break;
            default: {  // held, at the default half the time
                float held = static_cast<float>(random.Between(0, 1) ? pin.default_sample : a);
                std::fill(stream.begin() + at, stream.begin() + end, held);
                break;
            }
        }
        for (int32_t i = at; i < end; ++i) stream[i] = InRangeSample(pin, stream[i]);
        at = end;
    }
    return stream;
}

}  // namespace

InputStreams MovingStreams(const std::vector<DrivenPin>& pins, int32_t length, Random& random) {
    InputStreams streams;
    for (const auto& pin : pins) {
        if (pin.IsAudio() && pin.IsInput()) streams[pin.index] = MovingStream(pin, length, random);
    }
    return streams;
}

}  // namespace trhost::validate
