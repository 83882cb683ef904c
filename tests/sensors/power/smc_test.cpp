#include "sensors/power/smc.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/fake_smc.h"

namespace ebbwise {
namespace {

using test::FakeSMC;
using Bytes = std::vector<std::uint8_t>;

TEST(SMCTest, OpenFailsWithoutTheServiceAndClosesOnDestruction) {
  FakeSMC fake;
  fake.serviceMissing = true;
  EXPECT_EQ(SMC::open(fake), nullptr);
  fake.serviceMissing = false;
  SMC::open(fake).reset();
  EXPECT_TRUE(fake.openConnections.empty());
}

TEST(SMCTest, ReadsAFloatAndFetchesTheDescriptionOnce) {
  FakeSMC fake;
  fake.setFloat("PSTR", 10.25f);
  auto smc = SMC::open(fake);
  EXPECT_EQ(smc->readFloat("PSTR"), 10.25);
  fake.setFloat("PSTR", 11.5f);
  EXPECT_EQ(smc->readFloat("PSTR"), 11.5);

  // The key-info request carries only the key and command 9; each read asks
  // for 4 bytes with command 5.
  ASSERT_EQ(fake.inputs.size(), 3u);
  SMC::Request expected;
  expected.key = smcKeyCode("PSTR");
  expected.command = 9;
  EXPECT_EQ(SMC::Request::decode(std::span<const std::uint8_t, 80>(fake.inputs[0])), expected);
  expected.command = 5;
  expected.info.size = 4;
  EXPECT_EQ(SMC::Request::decode(std::span<const std::uint8_t, 80>(fake.inputs[2])), expected);
}

TEST(SMCTest, BadAnswersReadAsAbsent) {
  struct Case {
    const char* what;
    void (*arrange)(FakeSMC&);
    bool infoCached;  // a description that was answered is never asked again
  };
  const Case cases[] = {
      {"unknown key", [](FakeSMC& f) { f.removeKey("KEYX"); }, false},
      {"kernel error", [](FakeSMC& f) { f.kernelErrorKeys = {"KEYX"}; }, false},
      {"result byte", [](FakeSMC& f) { f.resultByteForKey["KEYX"] = 1; }, false},
      {"other type", [](FakeSMC& f) { f.setKey("KEYX", smcKeyCode("ui32"), Bytes(4)); }, true},
      {"other size", [](FakeSMC& f) { f.setKey("KEYX", SMC::kFloatType, Bytes(2)); }, true},
      {"not a number", [](FakeSMC& f) { f.setFloat("KEYX", std::nanf("")); }, true},
  };
  for (const auto& c : cases) {
    FakeSMC f;
    f.setFloat("KEYX", 1);
    c.arrange(f);
    auto smc = SMC::open(f);
    EXPECT_EQ(smc->readFloat("KEYX"), std::nullopt) << c.what;
    const std::size_t calls = f.inputs.size();
    EXPECT_EQ(smc->readFloat("KEYX"), std::nullopt) << c.what;
    const bool askedInfoAgain = f.inputs.size() > calls && f.inputs.back()[42] == 9;
    EXPECT_EQ(askedInfoAgain, !c.infoCached) << c.what;
  }

  // A value read that failed once is asked again next time.
  FakeSMC fake;
  fake.setFloat("PSTR", 3.0f);
  auto smc = SMC::open(fake);
  fake.resultByteForKey["PSTR"] = FakeSMC::kKeyNotFound;
  EXPECT_EQ(smc->readFloat("PSTR"), std::nullopt);
  fake.resultByteForKey.clear();
  EXPECT_EQ(smc->readFloat("PSTR"), 3.0);
}

// Longer names would lose their first characters in the packing and read
// another key.
TEST(SMCTest, KeysOfOtherLengthsAreNeverSent) {
  FakeSMC fake;
  fake.setFloat("PSTR", 3.0f);
  auto smc = SMC::open(fake);
  for (const char* key : {"XPSTR", "PST", ""}) EXPECT_EQ(smc->readFloat(key), std::nullopt) << key;
  EXPECT_TRUE(fake.inputs.empty());
}

}  // namespace
}  // namespace ebbwise
