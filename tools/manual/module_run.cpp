#include "module_run.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "host_instance.h"
#include "pin_values.h"

namespace manual {

int64_t ModuleRun::Frames() const { return static_cast<int64_t>(std::llround(seconds * rate)); }

VoltsAt Held(double volts) {
    return [volts](int64_t) { return volts; };
}

std::vector<float> RenderOut(const trhost::ModuleLibrary& library, const ModuleRun& run) {
    trhost::HostInstance host(library);
    if (!host.Create()) throw std::runtime_error(library.Path() + ": makeModule answered null");
    host.SetSampleRate(static_cast<float>(run.rate));
    host.SetBlockSize(run.block);
    const std::vector<trhost::PinDescription> pins = host.DescribePins();
    host.Wire(pins, static_cast<size_t>(run.block));

    std::vector<std::string> warnings;
    auto find = [&](const std::string& name) -> const trhost::PinDescription& {
        try {
            return trhost::FindPin(pins, name);
        } catch (const std::exception& error) {
            throw std::runtime_error(library.Path() + ": " + error.what());
        }
    };
    for (const auto& [name, choice] : run.choices) {
        const trhost::PinDescription& pin = find(name);
        host.SetListValue(pin.index, static_cast<int16_t>(trhost::ResolvePinValue(pin, choice, &warnings).list_value));
    }
    // Unset audio inputs hold their defaults; the driven ones are filled block by block.
    std::vector<std::pair<float*, const VoltsAt*>> driven;
    const trhost::PinDescription* out = nullptr;
    for (const auto& pin : pins) {
        if (pin.direction == PIN_OUT && pin.IsAudio() && !out) out = &pin;
        if (!pin.IsAudio() || pin.direction == PIN_OUT) continue;
        float* buffer = host.Buffer(pin.index);
        auto given = std::find_if(run.inputs.begin(), run.inputs.end(),
                                  [&](const auto& input) { return &find(input.first) == &pin; });
        if (given != run.inputs.end()) {
            driven.emplace_back(buffer, &given->second);
        } else {
            std::fill(buffer, buffer + run.block, trhost::DefaultPinValue(pin, &warnings).sample);
        }
    }
    if (!out) throw std::runtime_error(library.Path() + ": no audio output pin");

    host.Open();
    std::vector<float> samples(static_cast<size_t>(run.Frames()));
    for (int64_t done = 0; done < run.Frames();) {
        const int32_t count = static_cast<int32_t>(std::min<int64_t>(run.block, run.Frames() - done));
        for (const auto& [buffer, volts] : driven) {
            for (int32_t k = 0; k < count; ++k) {
                buffer[k] = static_cast<float>((*volts)(done + k) / trhost::kVoltsPerUnit);
            }
        }
        host.Process(0, count);
        const float* result = host.Buffer(out->index);
        std::copy(result, result + count, samples.begin() + done);
        host.AdvanceClock(static_cast<uint32_t>(count));
        done += count;
    }
    host.Close();
    return samples;
}

}  // namespace manual
