#include "life_rig.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace reliability {

namespace {

// The square wave's smoother overshoots to about 1.8 after an edge; no wave value reaches 2.
constexpr double kWavePeakBound = 2.0;

const int32_t kAudioPins[] = {kIn, kDepth, kOffset, kFreq, kPhase, kOut};

}  // namespace

LifeRig::LifeRig(const trhost::ModuleLibrary& library, uint32_t host_handle)
    : m_host(library), m_host_handle(host_handle) {}

bool LifeRig::Create() {
    if (!m_host.Create(0, TR_KIND_MODULE, m_host_handle)) return false;
    m_host.Wire(m_host.DescribePins(), kLength);
    m_buffers.clear();
    for (int32_t pin = 0; pin < kPinCount; ++pin) {
        m_buffers.push_back(std::make_unique<GuardedBuffer>(kLength));
    }
    for (int32_t pin : kAudioPins) Rewire(pin);
    Set(kIn, 1.0f);
    Set(kDepth, 0.5f);
    Set(kOffset, 0.0f);
    Set(kFreq, 0.1f);
    Set(kPhase, 0.0f);
    Set(kOut, 0.0f);
    SetList(kWave, 0);
    SetList(kFreqScale, 0);
    SetList(kDepthScale, 0);
    return true;
}

void LifeRig::Set(int32_t pin, float value) {
    Set(pin, [value](size_t) { return value; });
}

void LifeRig::Set(int32_t pin, const std::function<float(size_t)>& sample) {
    float* data = m_buffers[pin]->Data();
    for (size_t i = 0; i < kLength; ++i) data[i] = sample(i);
}

void LifeRig::Fault(const std::string& what) { m_faults.push_back(what); }

void LifeRig::Block(int32_t offset, int32_t count) {
    bool wired = true;
    for (int32_t pin : kAudioPins) wired = wired && m_host.Buffer(pin) == m_buffers[pin]->Data();
    const bool writes = wired && offset >= 0 && count > 0;
    size_t begin = writes ? static_cast<size_t>(offset) : 0;
    size_t end = writes ? begin + static_cast<size_t>(count) : 0;
    if (end > kLength) {
        Fault("the rig asked for a block beyond its buffers");
        return;
    }

    for (auto& buffer : m_buffers) {
        buffer->Snapshot();
        buffer->Fence(begin, end);
    }
    m_host.Process(offset, count);
    for (auto& buffer : m_buffers) buffer->Unfence();
    m_host.AdvanceClock(writes ? static_cast<uint32_t>(count) : 0);

    for (int32_t pin : kAudioPins) {
        bool unchanged =
            pin == kOut ? m_buffers[pin]->UnchangedOutside(begin, end) : m_buffers[pin]->UnchangedOutside(0, 0);
        if (!unchanged) {
            Fault("block at " + std::to_string(offset) + " of " + std::to_string(count) + " changed pin " +
                  std::to_string(pin) + " outside what it may write");
        }
    }

    const float* in = m_buffers[kIn]->Data();
    const float* depth = m_buffers[kDepth]->Data();
    const float* offset_in = m_buffers[kOffset]->Data();
    const float* freq = m_buffers[kFreq]->Data();
    const float* phase = m_buffers[kPhase]->Data();
    const float* out = m_buffers[kOut]->Data();
    for (size_t i = begin; i < end; ++i) {
        if (!std::isfinite(in[i]) || !std::isfinite(depth[i]) || !std::isfinite(offset_in[i]) ||
            !std::isfinite(freq[i]) || !std::isfinite(phase[i])) {
            continue;
        }
        // DepthEff is Depth (Absolute) or Depth x Offset (Relative): bounded by both at once.
        double largest_depth =
            std::fabs(static_cast<double>(depth[i])) * std::max(1.0, std::fabs(static_cast<double>(offset_in[i])));
        double bound = std::fabs(static_cast<double>(in[i])) *
                       (std::fabs(static_cast<double>(offset_in[i])) + largest_depth * kWavePeakBound);
        if (bound >= FLT_MAX) continue;
        if (!(std::fabs(static_cast<double>(out[i])) <= bound)) {
            Fault("sample " + std::to_string(i) + " is " + std::to_string(out[i]) +
                  " from finite inputs that bound it by " + std::to_string(bound));
            break;
        }
    }
}

void LifeRig::Run(int32_t blocks) {
    for (int32_t b = 0; b < blocks; ++b) {
        Block(0, static_cast<int32_t>(kLength));
        const float* out = m_buffers[kOut]->Data();
        m_output.insert(m_output.end(), out, out + kLength);
    }
}

}  // namespace reliability
