// The settings of a module's list pins that the sweeps go through: every combination of every choice
// while there are few, otherwise each list through its choices with the others at their defaults.
#ifndef TRHOST_VALIDATE_LIST_SETTINGS_H
#define TRHOST_VALIDATE_LIST_SETTINGS_H

#include <cstdint>
#include <utility>
#include <vector>

#include "driven_pin.h"

namespace trhost::validate {

// One setting: (list pin, value) for every list pin that has a member the host can write.
using ListSetting = std::vector<std::pair<const DrivenPin*, int32_t>>;

// Combinations up to this many are all taken.
constexpr size_t kMostListCombinations = 32;

std::vector<ListSetting> ListSettings(const std::vector<DrivenPin>& pins);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_LIST_SETTINGS_H
