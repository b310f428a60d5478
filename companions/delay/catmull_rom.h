// Four-point, third-order Hermite interpolation with Catmull-Rom tangents, as a fractional delay.
//
// Between the samples x0 (delay n) and x1 (delay n + 1), at a fraction f of the way, with the outer
// neighbours xm1 (delay n - 1) and x2 (delay n + 2):
//
//   y(f) = x0 + f/2 (x1 - xm1 + f (2 xm1 - 5 x0 + 4 x1 - x2 + f (3 (x0 - x1) + x2 - xm1)))
//
// Why this interpolator for a modulated delay: it passes through every sample (a whole delay is an
// exact copy), its slope is continuous from one interval to the next (a sweeping delay does not
// click at sample boundaries), it keeps no state (unlike an allpass, which rings when its delay
// moves), and four taps are cheap. At a half-sample fraction (taps -1/16, 9/16, 9/16, -1/16) it loses
// about 1 dB at half the Nyquist frequency and 7 dB at 0.8 of it; whole delays lose nothing.
#ifndef COMPANIONS_DELAY_CATMULL_ROM_H
#define COMPANIONS_DELAY_CATMULL_ROM_H

namespace companions {

inline double CatmullRom(double xm1, double x0, double x1, double x2, double f) {
    return x0 + 0.5 * f * (x1 - xm1 + f * (2.0 * xm1 - 5.0 * x0 + 4.0 * x1 - x2 + f * (3.0 * (x0 - x1) + x2 - xm1)));
}

}  // namespace companions

#endif  // COMPANIONS_DELAY_CATMULL_ROM_H
