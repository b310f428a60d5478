// Fuzz target, differential: random input streams run through the module (created with makeModule and
// driven through its record) and through the literal reference engine written from the oscillator's
// definition. Every output sample must be equal bit for bit, with one allowance: any NaN matches any
// NaN, since the payload a NaN carries through arithmetic is not part of the result.
//
// The stream decodes to: a sample rate and a buffer length, then steps that fill input pins with
// signals (constants, ramps, sweeps, awkward values), change the three list values, process a block,
// set a new rate, open again, or unwire and rewire a pin. The module's block is fenced as in
// fuzz_interface, so it may not touch anything outside the block either.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "byte_reader.h"
#include "fuzz_host.h"
#include "fuzz_values.h"
#include "literal_engine.h"
#include "tr_assert.h"

namespace {

using vexlo::reference::Buffers;
using vexlo::reference::Choices;
using vexlo::reference::LiteralEngine;

enum Pin : int32_t { kIn, kDepth, kOffset, kFreq, kPhase, kWave, kOut, kFreqScale, kDepthScale, kPins };

constexpr uint32_t kMaxBufferLength = 1024;
// Samples and opens per input, so that one input stays quick to run: an open at 192 kHz fills a
// table of 5.76 million sines.
constexpr uint32_t kMaxSamples = 1u << 16;
constexpr int kMaxOpens = 4;

enum Step : uint8_t { kFill, kChoices, kBlock, kSetRate, kReopen, kUnwire, kStepCount };

bool SameSample(float a, float b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

int16_t DecodeList(ByteReader& in, int16_t usual) {
    switch (in.Choice(4)) {
        case 0: return usual;
        case 1: return static_cast<int16_t>(in.Choice(4));
        case 2: return static_cast<int16_t>(-1);
        default: return in.I16();
    }
}

class Differential {
public:
    explicit Differential(ByteReader& in) : m_in(in) {}

    void Run() {
        float rate = DecodeSampleRate(m_in);
        m_length = 1 + m_in.U16() % kMaxBufferLength;
        if (!m_host.Create(0, TR_KIND_MODULE, true)) FuzzFail("makeModule answered null");
        m_host.Wire(kPins, m_length);
        SetDefaults();
        m_reference_out.assign(m_length, 0.0f);
        Open(rate);

        uint32_t samples = 0;
        while (!m_in.Empty() && samples < kMaxSamples) {
            switch (m_in.Choice(kStepCount)) {
                case kFill: {
                    int32_t pin = static_cast<int32_t>(m_in.Choice(5));
                    FillSignal(m_in, m_host.Buffer(pin)->Data(), m_length);
                    break;
                }
                case kChoices:
                    m_choices.wave = DecodeList(m_in, m_choices.wave);
                    m_choices.freq_scale = static_cast<uint16_t>(DecodeList(m_in, m_choices.freq_scale));
                    m_choices.depth_scale = static_cast<uint16_t>(DecodeList(m_in, m_choices.depth_scale));
                    m_host.SetListValue(kWave, m_choices.wave);
                    m_host.SetListValue(kFreqScale, static_cast<int16_t>(m_choices.freq_scale));
                    m_host.SetListValue(kDepthScale, static_cast<int16_t>(m_choices.depth_scale));
                    break;
                case kBlock: samples += Block(); break;
                case kSetRate:
                    // Stored by the module; it reaches the engine only at the next open.
                    m_rate = DecodeSampleRate(m_in);
                    m_host.Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, m_rate);
                    break;
                case kReopen:
                    if (m_opens < kMaxOpens) Open(m_rate);
                    break;
                case kUnwire: {
                    int32_t pin = static_cast<int32_t>(m_in.Choice(7));
                    if (pin == kWave) pin = kOut;
                    m_wired[pin] = m_in.Choice(2) == 0;
                    m_host.SetMemberBuffer(pin, m_wired[pin]);
                    break;
                }
                default: break;
            }
        }
        m_host.Close();
    }

private:
    void SetDefaults() {
        const float defaults[] = {1.0f, 0.5f, 0.0f, 0.1f, 0.0f};
        for (int32_t pin = kIn; pin <= kPhase; ++pin) {
            float* data = m_host.Buffer(pin)->Data();
            for (size_t i = 0; i < m_length; ++i) data[i] = defaults[pin];
        }
        for (bool& wired : m_wired) wired = true;
    }

    void Open(float rate) {
        ++m_opens;
        m_rate = rate;
        m_host.Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, rate);
        m_host.Dispatch(DISP_OPEN, 0, 0, nullptr, 0.0f);
        m_reference = std::make_unique<LiteralEngine>(rate);
    }

    const float* Input(int32_t pin) { return m_wired[pin] ? m_host.Buffer(pin)->Data() : nullptr; }

    // One block through both engines; answers the samples it asked for.
    uint32_t Block() {
        int32_t offset, count;
        if (m_in.Choice(8) == 0) {  // a block that cannot be processed: both must leave all as it is
            offset = m_in.Choice(2) ? -1 - static_cast<int32_t>(m_in.U16()) : 0;
            count = m_in.Choice(2) ? -static_cast<int32_t>(m_in.U8()) : static_cast<int32_t>(m_in.U8());
        } else {
            uint32_t a = m_in.U16() % (m_length + 1), b = m_in.U16() % (m_length + 1);
            offset = static_cast<int32_t>(a < b ? a : b);
            count = static_cast<int32_t>(a < b ? b - a : a - b);
        }
        if (offset >= 0 && count > 0 && static_cast<size_t>(offset) + count > m_length) return 0;

        float* out = m_host.Buffer(kOut)->Data();
        std::memcpy(m_reference_out.data(), out, m_length * sizeof(float));
        Buffers buffers{Input(kIn),   Input(kDepth), Input(kOffset),
                        Input(kFreq), Input(kPhase), m_wired[kOut] ? m_reference_out.data() : nullptr};
        m_reference->ProcessBlock(buffers, m_choices, offset, count);
        m_host.Process(offset, count);

        for (size_t k = 0; k < m_length; ++k) {
            if (SameSample(out[k], m_reference_out[k])) continue;
            std::fprintf(stderr,
                         "sample %zu of the block at %d of %d: module %a, reference %a\n"
                         "  in %a depth %a offset %a freq %a phase %a; wave %d, scales %u %u; rate %a\n",
                         k, offset, count, out[k], m_reference_out[k], m_host.Buffer(kIn)->Data()[k],
                         m_host.Buffer(kDepth)->Data()[k], m_host.Buffer(kOffset)->Data()[k],
                         m_host.Buffer(kFreq)->Data()[k], m_host.Buffer(kPhase)->Data()[k], m_choices.wave,
                         m_choices.freq_scale, m_choices.depth_scale, m_rate);
            FuzzFail("the module and the reference engine differ");
        }
        m_host.AdvanceClock(count > 0 ? static_cast<uint32_t>(count) : 0);
        return count > 0 ? static_cast<uint32_t>(count) : 1;
    }

    ByteReader& m_in;
    FuzzHost m_host;
    size_t m_length = 0;
    float m_rate = 44100.0f;  // the rate last set, read by the next open
    int m_opens = 0;
    Choices m_choices;
    bool m_wired[kPins] = {};
    std::unique_ptr<LiteralEngine> m_reference;
    std::vector<float> m_reference_out;
};

void Silent(const char*, const char*, int) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TRSetAssertHandler(Silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    Differential(in).Run();
    return 0;
}
