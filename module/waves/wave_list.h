// The waves the oscillator runs, listed once. Every choice of wave (the process routine's for a block, the
// diagnostic Waveform's) and every path compiled per wave is generated from this list, so adding a wave
// takes its own file in waves/ (its selector, its value at a position, its packed form where it has one,
// its held loop and their proofs) and its entry here. A Wave list value that no wave of the list claims
// runs the last one, the silent wave.
#ifndef VEXLO_WAVES_WAVE_LIST_H
#define VEXLO_WAVES_WAVE_LIST_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>

#include "waves/silent.h"
#include "waves/sine.h"
#include "waves/square.h"
#include "waves/triangle.h"

namespace vexlo {

template <class... Waves>
struct WaveList {};

// The list: each wave but the last claims its own selector (kSelector); the last takes every other.
using Waves = WaveList<SineWave, TriangleWave, SquareWave, SilentWave>;

// Answers run(wave) for the wave of the list that `selector` names, made from `sources`.
template <class Run, class First, class... Rest>
decltype(auto) WithWave(int16_t selector, const WaveSources& sources, Run&& run, WaveList<First, Rest...>) {
    if constexpr (sizeof...(Rest) == 0) {
        return run(First::Made(sources));
    } else {
        if (selector == First::kSelector) return run(First::Made(sources));
        return WithWave(selector, sources, run, WaveList<Rest...>{});
    }
}
template <class Run>
decltype(auto) WithWave(int16_t selector, const WaveSources& sources, Run&& run) {
    return WithWave(selector, sources, run, Waves{});
}

// The Wave pin's list text: "name=selector" for each wave that claims a selector, joined by commas, as
// a null-terminated array.
template <class Wave>
concept Listed = requires {
    Wave::kSelector;
};

constexpr std::size_t DecimalLength(int32_t value) {
    std::size_t length = value < 0 ? 2 : 1;
    for (int32_t rest = value < 0 ? -value : value; rest >= 10; rest /= 10) ++length;
    return length;
}

// The wave's "name=selector" and the comma (or null) after it; nothing for a wave not listed.
template <class Wave>
constexpr std::size_t ListedLength() {
    if constexpr (Listed<Wave>) {
        return std::string_view(Wave::kName).size() + 1 + DecimalLength(Wave::kSelector) + 1;
    } else {
        return 0;
    }
}

template <class... W>
constexpr auto ListTextOf(WaveList<W...>) {
    std::array<char, (ListedLength<W>() + ...)> text{};  // the last comma's place holds the null
    std::size_t at = 0;
    const auto append = [&]<class Wave>() {
        if constexpr (Listed<Wave>) {
            if (at > 0) text[at++] = ',';
            for (const char c : std::string_view(Wave::kName)) text[at++] = c;
            text[at++] = '=';
            int32_t value = Wave::kSelector;
            if (value < 0) text[at] = '-';
            at += DecimalLength(value);
            std::size_t digit = at;
            do {
                text[--digit] = static_cast<char>('0' + (value < 0 ? -(value % 10) : value % 10));
                value /= 10;
            } while (value != 0);
        }
    };
    (append.template operator()<W>(), ...);
    return text;
}
inline constexpr auto kWaveListText = ListTextOf(Waves{});

}  // namespace vexlo

// Compiles the path template `path` for every wave of the list into the file that defines it, so that the
// engine's file, which only declares the paths, finds each one: their addresses, kept.
#define VEXLO_PATH_FOR_EVERY_WAVE(path)                       \
    template <class... W>                                     \
    constexpr auto path##ForEachOf(::vexlo::WaveList<W...>) { \
        return std::make_tuple(&path<W>...);                  \
    }                                                         \
    [[gnu::used]] constexpr auto k##path##ForEveryWave = path##ForEachOf(::vexlo::Waves{})

#endif  // VEXLO_WAVES_WAVE_LIST_H
