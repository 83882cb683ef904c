#include "calibration/stored_models.h"

#include <gtest/gtest.h>

#include <string>

#include "sys/in_memory_user_defaults.h"

namespace ebbwise {
namespace {

sys::Value data(const std::string& text) {
  return sys::Value::binary(std::vector<std::uint8_t>(text.begin(), text.end()));
}

StoredModels measured() {
  StoredModels m;
  m.screen = ScreenModel::fromCalibration({{0.1, 3.0}, {0.55, 4.2}, {1.0, 7.9}});
  m.speakers = SpeakerModel{0.31, 1};
  m.keyboard = KeyboardModel{0.52};
  m.chargingLoss = ChargingLossModel{0.041, 7};
  return m;
}

TEST(StoredModelsTest, SavesEachModelAsDataUnderItsKeyAndLoadsItBack) {
  sys::InMemoryUserDefaults defaults;
  EXPECT_EQ(StoredModels::load(defaults), StoredModels{}) << "nothing stored: unmeasured";
  measured().save(defaults);
  for (auto key : {StoredModels::screenKey, StoredModels::speakerKey, StoredModels::keyboardKey,
                   StoredModels::chargingLossKey}) {
    ASSERT_TRUE(defaults.object(key)) << key;
    EXPECT_TRUE(defaults.object(key)->is_binary()) << key;
  }
  EXPECT_EQ(StoredModels::load(defaults), measured());
}

TEST(StoredModelsTest, DamagedModelsLoadAsUnmeasuredEachOnItsOwn) {
  struct Case {
    std::string_view key;
    sys::Value value;
  };
  const std::string deep = std::string(4 << 20, '[') + std::string(4 << 20, ']');
  const Case cases[] = {
      {StoredModels::screenKey, data(R"({"points":[{"brightness":0.1,"watts":0},)")},
      {StoredModels::screenKey, data(R"({"points":[]})")},
      {StoredModels::screenKey, data(R"({"points":"many","refinements":0})")},
      {StoredModels::screenKey,
       data(R"({"points":[{"brightness":0.1,"watts":0},{"brightness":1,"watts":1e300}],)"
            R"("refinements":0})")},
      {StoredModels::screenKey,
       data(R"({"points":[{"brightness":0.1,"watts":0},{"brightness":7,"watts":2}],)"
            R"("refinements":0})")},
      {StoredModels::screenKey,
       data(R"({"points":[{"brightness":0.1,"watts":3},{"brightness":1,"watts":2}],)"
            R"("refinements":0})")},
      {StoredModels::screenKey,
       data(R"({"points":[{"brightness":0.9,"watts":0},{"brightness":0.1,"watts":2}],)"
            R"("refinements":0})")},
      {StoredModels::screenKey, data(deep)},
      {StoredModels::speakerKey, data(R"({"watts":NaN,"samples":1})")},
      {StoredModels::speakerKey, data(R"({"watts":-0.2,"samples":1})")},
      {StoredModels::speakerKey, data(R"({"watts":0.3})")},
      {StoredModels::speakerKey, sys::Value::parse(R"({"watts":0.3,"samples":1})")},
      {StoredModels::keyboardKey, data(R"({"fullWatts":"0.5"})")},
      {StoredModels::keyboardKey, data(R"({"fullWatts":1e308})")},
      {StoredModels::keyboardKey, data("[]")},
      {StoredModels::chargingLossKey, data(R"({"fraction":0.4,"samples":3})")},
      {StoredModels::chargingLossKey, data("\xff\xfe{\"samples\":1}")},
      {StoredModels::chargingLossKey, data("")},
  };
  for (const Case& c : cases) {
    sys::InMemoryUserDefaults defaults;
    measured().save(defaults);
    defaults.setObject(c.key, c.value);
    StoredModels expected = measured();
    if (c.key == StoredModels::screenKey) expected.screen = {};
    if (c.key == StoredModels::speakerKey) expected.speakers = {};
    if (c.key == StoredModels::keyboardKey) expected.keyboard = {};
    if (c.key == StoredModels::chargingLossKey) expected.chargingLoss = {};
    EXPECT_EQ(StoredModels::load(defaults), expected)
        << c.key << " = " << c.value.dump().substr(0, 80);
  }
}

TEST(StoredModelsTest, CountersBelowZeroLoadAsZero) {
  sys::InMemoryUserDefaults defaults;
  defaults.setObject(StoredModels::speakerKey, data(R"({"watts":0.3,"samples":-4})"));
  defaults.setObject(StoredModels::chargingLossKey, data(R"({"fraction":0.05,"samples":-1})"));
  defaults.setObject(StoredModels::screenKey,
                     data(R"({"points":[{"brightness":0.1,"watts":0},{"brightness":1,"watts":4}],)"
                          R"("refinements":-9})"));
  StoredModels loaded = StoredModels::load(defaults);
  EXPECT_EQ(loaded.speakers, (SpeakerModel{0.3, 0}));
  EXPECT_EQ(loaded.chargingLoss, (ChargingLossModel{0.05, 0}));
  EXPECT_EQ(loaded.screen.refinements, 0);
  EXPECT_TRUE(loaded.screen.isMeasured());
}

}  // namespace
}  // namespace ebbwise
