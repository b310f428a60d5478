// The panner's law: constant power with square-root gains,
//
//   left = sqrt((1 - p) / 2),  right = sqrt((1 + p) / 2),  p in [-1, 1] (hard left .. hard right)
//
// so that left^2 + right^2 = 1 at every position. Unlike a sine/cosine law it is exact at both ends:
// hard left gives left 1 and right 0, bit for bit, so a hard-panned channel is an exact copy.
#ifndef COMPANIONS_MIXER_PAN_LAW_H
#define COMPANIONS_MIXER_PAN_LAW_H

#include <cmath>

namespace companions {

struct PanGains {
    double left;
    double right;
};

// `position` is clamped to [-1, 1]; one that is not a number pans to the centre.
inline PanGains PanLaw(double position) {
    if (std::isnan(position)) position = 0.0;
    if (position < -1.0) position = -1.0;
    if (position > 1.0) position = 1.0;
    return {std::sqrt((1.0 - position) * 0.5), std::sqrt((1.0 + position) * 0.5)};
}

}  // namespace companions

#endif  // COMPANIONS_MIXER_PAN_LAW_H
