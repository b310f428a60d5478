#include "list_settings.h"

namespace trhost::validate {

std::vector<ListSetting> ListSettings(const std::vector<DrivenPin>& pins) {
    std::vector<const DrivenPin*> lists;
    for (const auto& pin : pins) {
        if (pin.IsList() && !pin.repeated && pin.description.variable_address) lists.push_back(&pin);
    }
    ListSetting defaults;
    size_t combinations = 1;
    for (const DrivenPin* pin : lists) {
        defaults.push_back({pin, pin->default_choice});
        combinations *= pin->choices.size();
        if (combinations > kMostListCombinations) combinations = kMostListCombinations + 1;
    }

    std::vector<ListSetting> settings;
    if (combinations <= kMostListCombinations) {
        // Counting through the combinations like the digits of a number.
        std::vector<size_t> digit(lists.size(), 0);
        for (size_t n = 0; n < combinations; ++n) {
            ListSetting setting;
            for (size_t i = 0; i < lists.size(); ++i) setting.push_back({lists[i], lists[i]->choices[digit[i]].value});
            settings.push_back(setting);
            for (size_t i = 0; i < lists.size() && ++digit[i] == lists[i]->choices.size(); ++i) digit[i] = 0;
        }
        return settings;
    }
    settings.push_back(defaults);
    for (size_t i = 0; i < lists.size(); ++i) {
        for (const auto& choice : lists[i]->choices) {
            if (choice.value == lists[i]->default_choice) continue;
            ListSetting setting = defaults;
            setting[i].second = choice.value;
            settings.push_back(setting);
        }
    }
    return settings;
}

}  // namespace trhost::validate
