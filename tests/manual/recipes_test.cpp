// The recipes as this build plays them: no value set and no wire leaves the range its pin states, and
// the PM voice carries the error that rounding its phase offset to whole samples predicts, no more.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "rack.h"
#include "recipe_patch.h"

namespace {

namespace fs = std::filesystem;

const std::string kModuleDir = fs::path(VEXLO_LIBRARY_PATH).parent_path().string();

std::string RecipePath(const std::string& name) { return (fs::path(VEXLO_RECIPES_DIR) / (name + ".json")).string(); }

TEST(Recipes, EveryWireAndValueStaysInsideItsPinsRange) {
    const std::vector<std::string> recipes = manual::RecipeFiles(VEXLO_RECIPES_DIR);
    ASSERT_GE(recipes.size(), 7u);
    for (const std::string& path : recipes) {
        const manual::Recipe recipe = manual::LoadRecipe(path, kModuleDir);
        trhost::Rack rack(recipe.plan, recipe.run, manual::LoadRecipeSound);
        EXPECT_TRUE(rack.SetValuesOutOfRange().empty()) << path << ": " << rack.SetValuesOutOfRange().front();
        const trhost::Rendering rendering = rack.Run();
        for (const auto& excursion : rack.RangeExcursions()) {
            ADD_FAILURE() << path << ": " << trhost::ExcursionText(excursion, recipe.run.rate);
        }
        for (const auto& channel : rendering.channels) {
            double power = 0;
            for (float x : channel) power += static_cast<double>(x) * x;
            EXPECT_GT(power, 0) << path << ": a silent channel";
        }
    }
}

// The PM voice: a 440 Hz modulator swings the 220 Hz carrier's Phase by 50 degrees either side of 180.
// Both play whole-sample periods (100 and 200 samples at 44.1 kHz), and the carrier rounds its phase
// offset to the nearest whole sample of its period. The prediction is that rounding applied to ideal
// PM: the tone's difference from ideal PM must carry the power the rounding alone accounts for. (Below
// 0 V, outside the pin's range, the module's rounding of a negative offset moves a sample further.)
TEST(Recipes, PmVoiceMeetsTheWholeSampleRoundingPrediction) {
    const manual::Recipe recipe = manual::LoadRecipe(RecipePath("pm"), kModuleDir);
    trhost::Rack rack(recipe.plan, recipe.run, manual::LoadRecipeSound);
    const trhost::Rendering rendering = rack.Run();
    ASSERT_EQ(rendering.channel_names.front(), "car.Out");
    const std::vector<float>& carrier = rendering.channels.front();

    const double rate = recipe.run.rate, carrier_period = 200, modulator_period = 100, depth = 0.5;  // 5 V
    ASSERT_EQ(rate, 44100);
    auto tone = [&](double k, double offset_samples) {
        return depth * std::sin(2 * std::numbers::pi * (k + offset_samples) / carrier_period);
    };
    double measured_error = 0, predicted_error = 0, ideal_power = 0;
    for (size_t k = 0; k < carrier.size(); ++k) {
        const double phase_degrees = 180 + 50 * std::sin(2 * std::numbers::pi * k / modulator_period);
        const double offset = phase_degrees / 360 * carrier_period;
        const double ideal = tone(k, offset);
        const double rounded = tone(k, std::floor(offset + 0.5));
        measured_error += (carrier[k] - ideal) * (carrier[k] - ideal);
        predicted_error += (rounded - ideal) * (rounded - ideal);
        ideal_power += ideal * ideal;
    }
    const double measured_db = 10 * std::log10(measured_error / ideal_power);
    const double predicted_db = 10 * std::log10(predicted_error / ideal_power);
    EXPECT_NEAR(measured_db, predicted_db, 0.5);
    // And that is a rounding error's size: within a few dB of (2 pi / P)^2 / 12, an error spread evenly
    // over half a sample either side (a modulator of whole-sample period visits only 100 offsets).
    EXPECT_NEAR(predicted_db, 10 * std::log10(std::pow(2 * std::numbers::pi / carrier_period, 2) / 12), 6.0);
    RecordProperty("measured_db", std::to_string(measured_db));
    RecordProperty("predicted_db", std::to_string(predicted_db));
}

}  // namespace
