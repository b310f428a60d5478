// The waves the oscillator runs, listed once. Every choice of wave (the process routine's for a block, the
// diagnostic Waveform's) and every path compiled per wave is generated from this list, so adding a wave
// takes its own file in waves/ (its selector, its value at a position, its packed form where it has one,
// its own held and modulated loops where it has them, and their proofs) and its entry here. A Wave list
// value that no wave of the list claims runs the last one, the silent wave.
#ifndef VEXLO_WAVES_WAVE_LIST_H
#define VEXLO_WAVES_WAVE_LIST_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "waves/silent.h"
#include "waves/sine.h"
#include "waves/square.h"
#include "waves/triangle.h"

namespace vexlo {

template <class... Waves>
struct WaveList {};

}  // namespace vexlo

// The list: each wave but the last claims its own selector (kSelector); the last takes every other.
// X(Wave, args...) for each wave in order, so that a list of types (Waves) and a declaration per wave
// (VEXLO_PATH_FOR_EVERY_WAVE) both come from it.
#define VEXLO_FOR_EVERY_WAVE(X, ...) \
    X(SineWave, __VA_ARGS__)         \
    X(TriangleWave, __VA_ARGS__)     \
    X(SquareWave, __VA_ARGS__)       \
    X(SilentWave, __VA_ARGS__)

namespace vexlo {

template <class Ignored, class... Listed>
struct WaveListAfter {
    using List = WaveList<Listed...>;
};
#define VEXLO_COMMA_WAVE(Wave, ...) , Wave
using Waves = WaveListAfter<void VEXLO_FOR_EVERY_WAVE(VEXLO_COMMA_WAVE, )>::List;
#undef VEXLO_COMMA_WAVE

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

// The wave's selector, or 0 for the wave that claims none.
template <class Wave>
constexpr int32_t SelectorOf() {
    if constexpr (Listed<Wave>) {
        return Wave::kSelector;
    } else {
        return 0;
    }
}

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

// The list's order as WithWave takes it: no two waves claim one selector, and only the last takes every
// other (a wave in the middle without a selector would hide those after it).
template <class... W>
constexpr bool SelectorsUniqueAndLastUnlisted(WaveList<W...>) {
    constexpr bool listed[] = {Listed<W>...};
    constexpr std::size_t count = sizeof...(W);
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (!listed[i]) return false;
    }
    if (listed[count - 1]) return false;
    constexpr int32_t selectors[] = {SelectorOf<W>()...};
    for (std::size_t i = 0; i + 1 < count; ++i) {
        for (std::size_t j = i + 1; j + 1 < count; ++j) {
            if (selectors[i] == selectors[j]) return false;
        }
    }
    return true;
}
static_assert(SelectorsUniqueAndLastUnlisted(Waves{}),
              "each wave but the last claims a selector of its own, and the last claims none");

// A Wave list value that no wave claims (one above the largest selector), which the last wave takes.
template <class... W>
constexpr int16_t UnlistedSelectorOf(WaveList<W...>) {
    int32_t largest = -1;
    ((largest = Listed<W> && SelectorOf<W>() > largest ? SelectorOf<W>() : largest), ...);
    return static_cast<int16_t>(largest + 1);
}
inline constexpr int16_t kUnlistedSelector = UnlistedSelectorOf(Waves{});

}  // namespace vexlo

// Instantiates the path template `path` (answering `result`, taking the parameters listed after it and
// then the wave; engine_steps.h declares the paths) for every wave of the list in the file that defines
// it, so that the engine's file, which only declares the paths, links with each one. Used inside
// namespace vexlo.
#define VEXLO_INSTANTIATE_PATH(Wave, result, path, ...) template result path<Wave>(__VA_ARGS__, Wave);
#define VEXLO_PATH_FOR_EVERY_WAVE(result, path, ...) \
    VEXLO_FOR_EVERY_WAVE(VEXLO_INSTANTIATE_PATH, result, path, __VA_ARGS__)

#endif  // VEXLO_WAVES_WAVE_LIST_H
