// A plain, literal evaluation of the oscillator, written straight from its definition and independent
// of the module's code: the yardstick that tests, benchmarks and fuzz targets compare the module with.
//
// It follows the engine step by step in IEEE double (rounded to single where the definition rounds),
// including the module's defined answers where the plain steps would fault:
//   - no usable tables (rate not a number, below 1 Hz, 30 x R beyond 32 bits, or 30 x R floats beyond
//     the address space): Out = Offset x In;
//   - P below 1 is 1; a non-finite Phase counts as 0; a phase offset beyond 32 bits is reduced
//     modulo P; a negative position is wrapped into 0 .. P - 1;
//   - a block with a null buffer, a negative offset or an index range beyond 32 bits does nothing.
// The sine is taken on demand from the C library (the same values a table filled with it holds), so
// creating an engine is cheap at any sample rate.
//
// Usage:
//   vexlo::reference::LiteralEngine engine(44100.0f);   // what the module's open does
//   float out = engine.Step({in, depth, offset, freq, phase}, {wave, freq_scale, depth_scale});
//   engine.ProcessBlock(buffers, choices, offset, count);  // the module's process routine
#ifndef VEXLO_REFERENCE_LITERAL_ENGINE_H
#define VEXLO_REFERENCE_LITERAL_ENGINE_H

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace vexlo::reference {

// One sample of the five audio inputs.
struct SampleInputs {
    float in;
    float depth;
    float offset;
    float freq;
    float phase;
};

// The three list values: wave (signed), frequency scale (0 Hz, else kHz), depth scale (0 Absolute,
// else Relative).
struct Choices {
    int16_t wave = 0;
    uint16_t freq_scale = 0;
    uint16_t depth_scale = 0;
};

// The six pin buffers of one block, as the host wires them.
struct Buffers {
    const float* in = nullptr;
    const float* depth = nullptr;
    const float* offset = nullptr;
    const float* freq = nullptr;
    const float* phase = nullptr;
    float* out = nullptr;
};

// The leaky running-average square smoother, literal.
class LiteralSmoother {
public:
    explicit LiteralSmoother(int32_t sample_rate) {
        window_ = static_cast<int32_t>(static_cast<double>(sample_rate) * static_cast<double>(0.0011337869f));
        ring_.assign(static_cast<size_t>(window_) + 1, 0.0f);
    }

    double Step(float x) {
        const int32_t length = static_cast<int32_t>(ring_.size());
        ring_[index_] = x;
        if (window_ <= 1) {
            sum_ = x;
        } else if (window_ != last_window_) {
            sum_ = 0.0f;
            for (int32_t k = 0; k < window_; ++k) {
                const int32_t slot = index_ - k < 0 ? index_ - k + length : index_ - k;
                sum_ = static_cast<float>(static_cast<double>(sum_) + static_cast<double>(ring_[slot]));
            }
        } else {
            const int32_t j = index_ - window_ < 0 ? length - window_ + index_ : index_ - window_;
            const double updated =
                (static_cast<double>(sum_) + static_cast<double>(x) - static_cast<double>(ring_[j])) *
                static_cast<double>(0.9999f);
            sum_ = static_cast<float>(updated);
        }
        index_ = (index_ + 1) % length;
        last_window_ = window_;
        return window_ > 1 ? static_cast<double>(sum_) / static_cast<double>(window_) : static_cast<double>(sum_);
    }

    int32_t window() const { return window_; }
    int32_t ring_length() const { return static_cast<int32_t>(ring_.size()); }
    int32_t index() const { return index_; }
    float sum() const { return sum_; }

private:
    int32_t window_ = 0;
    int32_t last_window_ = 0;
    int32_t index_ = 0;
    float sum_ = 0.0f;
    std::vector<float> ring_;
};

class LiteralEngine {
public:
    // Reads the host's sample rate the way the module's open does. With `tabled` the sine comes from a
    // table filled once with the same entries (so that its per-sample cost can be compared with the
    // module's); otherwise each entry is computed when it is needed.
    explicit LiteralEngine(float host_sample_rate, bool tabled = false) : smoother_(0) {
        const double rate = host_sample_rate;
        if (rate >= 1.0 && rate < 2147483648.0) {
            const int32_t r = static_cast<int32_t>(rate);
            // The module also goes without tables when 30 x R floats cannot be addressed at all.
            const int64_t length = static_cast<int64_t>(r) * 30;
            if (length <= INT32_MAX &&
                static_cast<uint64_t>(length) <= std::numeric_limits<size_t>::max() / sizeof(float)) {
                rate_ = r;
                table_length_ = 30 * r;
                smoother_ = LiteralSmoother(r);
            }
        }
        if (tabled) {
            table_.resize(static_cast<size_t>(table_length_));
            for (int32_t i = 0; i < table_length_; ++i) table_[i] = SineEntry(i, table_length_);
        }
    }

    // False when the rate leaves no tables: every sample is then Offset x In.
    bool running() const { return table_length_ > 0; }
    int32_t rate() const { return rate_; }
    int32_t table_length() const { return table_length_; }
    int32_t period() const { return period_; }
    int32_t count() const { return count_; }
    const LiteralSmoother& smoother() const { return smoother_; }

    // Sine table entry i of N, as the module's table holds it.
    static float SineEntry(int32_t i, int32_t n) {
        return static_cast<float>(std::sin(static_cast<double>(i) / static_cast<double>(n) * 6.2831852));
    }

    // One output sample.
    float Step(const SampleInputs& x, const Choices& c) {
        if (!running()) {
            return static_cast<float>(static_cast<double>(x.offset) * static_cast<double>(x.in));
        }
        // 2. DepthEff = (Offset if Relative else 1.0) x Depth, single.
        const float depth_eff = static_cast<float>(static_cast<double>(c.depth_scale != 0 ? x.offset : 1.0f) *
                                                   static_cast<double>(x.depth));
        // 3. F = (10000 if kHz else 10) x Freq, single.
        const float f =
            static_cast<float>(static_cast<double>(c.freq_scale != 0 ? 10000.0f : 10.0f) * static_cast<double>(x.freq));
        // 4.
        count_ = count_ + 1;
        // 5. PF = Phase x 1/36 (single constant), single; non-finite counts as 0.
        float pf = static_cast<float>(static_cast<double>(x.phase) * static_cast<double>(0.027777778f));
        if (std::isnan(pf) || std::isinf(pf)) pf = 0.0f;
        // 6.
        const bool freq_ok = static_cast<double>(f) > 0.03333333333333333;
        const bool depth_ok = !std::isnan(depth_eff) && depth_eff != 0.0f;
        // 7.
        if (!(freq_ok && depth_ok)) {
            period_ = -1;
            count_ = -1;
            return static_cast<float>(static_cast<double>(x.offset) * static_cast<double>(x.in));
        }
        // 8. P = R / F + 0.5 truncated; at least 1.
        const double p_real = static_cast<double>(rate_) / static_cast<double>(f) + 0.5;
        const int32_t p = p_real < 1.0 ? 1 : static_cast<int32_t>(p_real);
        // 9.
        if (period_ >= 1 && period_ != p) {
            count_ = static_cast<int32_t>(
                static_cast<double>(count_) / static_cast<double>(period_) * static_cast<double>(p) + 0.5);
        }
        // 10.
        period_ = p;
        count_ = count_ % p;
        // 11. PO = P x PF + 0.5 truncated; beyond 32 bits reduced modulo P first.
        const double po_real = static_cast<double>(p) * static_cast<double>(pf) + 0.5;
        int64_t po;
        if (po_real > -2147483649.0 && po_real < 2147483648.0) {
            po = static_cast<int32_t>(po_real);
        } else {
            po = static_cast<int64_t>(std::fmod(std::trunc(po_real), static_cast<double>(p)));
        }
        // 12. Position, wrapped into 0 .. P - 1.
        int64_t pos = (count_ + po) % p;
        if (pos < 0) pos += p;
        // 13.
        const double w = Wave(c.wave, static_cast<int32_t>(pos), p);
        // 14.
        return static_cast<float>((w * static_cast<double>(depth_eff) + static_cast<double>(x.offset)) *
                                  static_cast<double>(x.in));
    }

    // One block, as the module's process routine: samples offset .. offset + count - 1.
    void ProcessBlock(const Buffers& b, const Choices& c, int32_t offset, int32_t count) {
        if (count <= 0) return;
        if (!b.in || !b.depth || !b.offset || !b.freq || !b.phase || !b.out) return;
        if (offset < 0 || static_cast<int64_t>(offset) + count > INT32_MAX) return;
        for (int32_t k = offset; k < offset + count; ++k) {
            b.out[k] = Step({b.in[k], b.depth[k], b.offset[k], b.freq[k], b.phase[k]}, c);
        }
    }

private:
    double Wave(int16_t s, int32_t pos, int32_t p) {
        if (s == 0) {
            const double idx = static_cast<double>(table_length_) * static_cast<double>(pos) / static_cast<double>(p);
            const int32_t i = static_cast<int32_t>(idx);
            return table_.empty() ? SineEntry(i, table_length_) : table_[static_cast<size_t>(i)];
        }
        if (s == 1) {
            const double x = static_cast<double>(pos) * 4.0 / static_cast<double>(p);
            if (x < 1.0) return x;
            if (x < 3.0) return 2.0 - x;
            return x - 4.0;
        }
        if (s == 2) {
            const float v = static_cast<double>(pos) / static_cast<double>(p) < 0.5 ? 1.0f : -1.0f;
            return smoother_.Step(v);
        }
        return 0.0;
    }

    int32_t rate_ = 0;
    int32_t table_length_ = 0;
    int32_t period_ = -1;
    int32_t count_ = -1;
    LiteralSmoother smoother_;
    std::vector<float> table_;  // empty unless tabled
};

}  // namespace vexlo::reference

#endif  // VEXLO_REFERENCE_LITERAL_ENGINE_H
