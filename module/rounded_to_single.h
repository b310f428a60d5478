// A double rounded to single precision and kept as a double, by splitting it in double arithmetic: one
// multiply, a subtract and an add, where converting to single and back takes two conversions whose
// latency is about half again as long. For a chain of steps that each end in a rounding to single
// (the square smoother's sum), this is the shorter chain.
#ifndef VEXLO_ROUNDED_TO_SINGLE_H
#define VEXLO_ROUNDED_TO_SINGLE_H

namespace vexlo {

// 2^29 + 1: splitting by it keeps 53 - 29 = 24 significant bits, a single's.
inline constexpr double kSingleSplitter = 536870913.0;

// static_cast<double>(static_cast<float>(t)) for t = +0 and for 2^-126 <= |t| <= 2^127 (singles' normal
// range, where rounding to single keeps 24 significant bits and cannot overflow). Not for -0, which it
// answers as +0.
//
// Why: g = C x t and d = t - g, rounded, then g + d, with C = 2^29 + 1. Scaling t by a power of two
// scales each step's exact value and its rounding alike (nothing leaves double's normal range for t in
// that range), and each step is odd, so take 1 <= t < 2, and let u = 2^-23, the singles' spacing there.
//   - g < 2^30: doubles in [2^29, 2^30) are the multiples of u, and C x t = 2^29 t + t >= 2^29, so
//     g = C x t + e with |e| <= u/2 and g a multiple of u. Then g - t = 2^29 t + e lies in the same
//     binade (it is 2^29 exactly for t = 1, and above 2^29 + u/2 otherwise), so d = -(g - t) rounded
//     = t' - g, where t' is t rounded to a multiple of u: to the nearest, and at a tie to the one with
//     the parity of g / u. A tie t = (M + 1/2) u makes C x t / u = 2^29 M + 2^28 + M + 1/2 a tie too,
//     which rounds to its even neighbour, so g / u is even and t' = M u or (M + 1) u, whichever is even:
//     single rounding's choice. g + d = t' is a double, so the last add is exact.
//   - g >= 2^30: then C x t >= 2^30 - u/2, so t > 2 - 2^-27, which rounds to 2 in single. g lies in
//     [2^30, 2^30 + 2] and is a multiple of 2u; g - t lies within 2^-27 of g - 2, a double, and the
//     doubles there are at least 2^-23 apart, so d = 2 - g and g + d = 2.
inline double RoundedToSingle(double t) {
    const double scaled = t * kSingleSplitter;
    return scaled + (t - scaled);
}

}  // namespace vexlo

#endif  // VEXLO_ROUNDED_TO_SINGLE_H
