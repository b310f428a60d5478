// The process path for stretches whose inputs hold still: one full step, then a lean loop.
#include "engine_steps.h"

void VexloModule::RunHeld(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother) {
    // The first sample takes every step: it may start or rescale the cycle, and fills the remembered
    // period and phase offset.
    const Inputs x{block.in[from], block.depth[from], block.offset[from], block.freq[from], block.phase[from]};
    const Measure sample = MeasureSample(block, x);
    Cycle cycle = LoadCycle();
    int32_t position = Advance(sample, cycle);
    StoreCycle(cycle);
    const float first = Render(block, sample, position, x.in, x.offset, smoother);
    block.out[from] = first;

    // Held inputs give every further sample the same activity: inactive, each is Offset x In again.
    if (position < 0) {
        std::fill(block.out + from + 1, block.out + from + count, first);
        return;
    }

    // Active, F, PF and DepthEff stay: the period and the phase offset are those of the first sample,
    // no rescale happens, and each sample moves the count and the position on by one, mod P.
    const int32_t period = sample.period;
    const int32_t counted = m_count;
    const double depth_eff = sample.depth_eff;
    const double offset = x.offset;
    const double in = x.in;
    const auto advance = [period](int32_t& value) { value = value + 1 < period ? value + 1 : 0; };

    const double inverse = sample.inverse;
    switch (block.wave) {
        case kWaveSine: {
            // Local copies, which no output store can alias.
            vexlo::SineIndex index = m_sine_index;
            const float* const table = m_sine_table;
            for (int32_t at = from + 1; at < from + count; ++at) {
                advance(position);
                block.out[at] = vexlo::OutputOf(table[index.At(position, period, inverse)], depth_eff, offset, in);
            }
            m_sine_index = index;
            break;
        }
        case kWaveTriangle:
            for (int32_t at = from + 1; at < from + count; ++at) {
                advance(position);
                block.out[at] = vexlo::OutputOf(vexlo::TriangleAt(position, period), depth_eff, offset, in);
            }
            break;
        case kWaveSquare: {
            vexlo::SquareSmoother local = smoother;
            for (int32_t at = from + 1; at < from + count; ++at) {
                advance(position);
                block.out[at] =
                    vexlo::OutputOf(local.Step(vexlo::SquareLevel(position, period)), depth_eff, offset, in);
            }
            smoother = local;
            break;
        }
        default:
            std::fill(block.out + from + 1, block.out + from + count, vexlo::OutputOf(0.0, depth_eff, offset, in));
            break;
    }

    // The count moved on with the position: count + (n - 1) mod P.
    m_count = vexlo::AddWrapped(counted, (count - 1) % period, period);
}
