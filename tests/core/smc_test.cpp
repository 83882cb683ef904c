#include "core/smc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/fake_smc.h"

namespace ebbwise {
namespace {

using test::FakeSMC;

TEST(SMCKeyCodeTest, PacksFirstCharacterHighest) {
  EXPECT_EQ(smcKeyCode("PSTR"), 0x50535452u);
  EXPECT_EQ(SMC::kFloatType, 0x666C7420u);
}

TEST(SMCRequestTest, EveryFieldSitsAtItsOffsetLittleEndian) {
  SMC::Request r;
  r.key = 0x11223344;
  r.version = {1, 2, 3, 4, 0x0506};
  r.limits = {0x0708, 0x090A, 0x0B0C0D0E, 0x0F101112, 0x13141516};
  r.info = {0x1718191A, 0x1B1C1D1E, 0x1F};
  r.result = 0x20;
  r.status = 0x21;
  r.command = 0x22;
  r.data32 = 0x23242526;
  for (std::size_t i = 0; i < r.bytes.size(); ++i) r.bytes[i] = static_cast<std::uint8_t>(0x80 + i);

  const SMC::Request::Bytes raw = r.encode();
  struct Field {
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const Field fields[] = {
      {0, {0x44, 0x33, 0x22, 0x11}},         // key
      {4, {1, 2, 3, 4, 0x06, 0x05}},         // version
      {10, {0, 0}},                          // padding
      {12, {0x08, 0x07, 0x0A, 0x09}},        // limits.version, length
      {16, {0x0E, 0x0D, 0x0C, 0x0B}},        // limits.cpu
      {24, {0x16, 0x15, 0x14, 0x13}},        // limits.mem
      {28, {0x1A, 0x19, 0x18, 0x17}},        // info.size
      {32, {0x1E, 0x1D, 0x1C, 0x1B, 0x1F}},  // info.type, attributes
      {37, {0, 0, 0}},                       // info padding
      {40, {0x20, 0x21, 0x22, 0}},           // result, status, command, padding
      {44, {0x26, 0x25, 0x24, 0x23}},        // data32
      {48, {0x80, 0x81}},                    // bytes
      {79, {0x80 + 31}},
  };
  for (const auto& field : fields) {
    for (std::size_t i = 0; i < field.bytes.size(); ++i) {
      EXPECT_EQ(raw[field.offset + i], field.bytes[i]) << "offset " << field.offset + i;
    }
  }
  EXPECT_EQ(SMC::Request::decode(raw), r);
}

class SMCTest : public ::testing::Test {
 protected:
  std::unique_ptr<SMC> open() {
    auto smc = SMC::open(fake);
    EXPECT_NE(smc, nullptr);
    return smc;
  }
  FakeSMC fake;
};

TEST_F(SMCTest, OpenFailsWithoutTheServiceAndClosesOnDestruction) {
  fake.serviceMissing = true;
  EXPECT_EQ(SMC::open(fake), nullptr);
  fake.serviceMissing = false;
  open().reset();
  EXPECT_EQ(fake.closed, 1);
  EXPECT_TRUE(fake.openConnections.empty());
}

TEST_F(SMCTest, ReadsAFloatAndFetchesTheDescriptionOnce) {
  fake.setFloat("PSTR", 10.25f);
  auto smc = open();
  EXPECT_EQ(smc->readFloat("PSTR"), 10.25);
  fake.setFloat("PSTR", 11.5f);
  EXPECT_EQ(smc->readFloat("PSTR"), 11.5);
  EXPECT_EQ(fake.infoCalls, 1);
  EXPECT_EQ(fake.readCalls, 2);

  // The key-info request carries only the key and command 9; the read asks
  // for 4 bytes with command 5.
  ASSERT_EQ(fake.inputs.size(), 3u);
  SMC::Request expected;
  expected.key = smcKeyCode("PSTR");
  expected.command = 9;
  EXPECT_EQ(SMC::Request::decode(std::span<const std::uint8_t, 80>(fake.inputs[0].data(), 80)),
            expected);
  expected.command = 5;
  expected.info.size = 4;
  EXPECT_EQ(SMC::Request::decode(std::span<const std::uint8_t, 80>(fake.inputs[1].data(), 80)),
            expected);
}

TEST_F(SMCTest, BadAnswersReadAsAbsent) {
  struct Case {
    const char* what;
    void (*arrange)(FakeSMC&);
    bool infoCached;  // a description that was answered is never asked again
  };
  const Case cases[] = {
      {"unknown key", [](FakeSMC&) {}, false},
      {"kernel error",
       [](FakeSMC& f) {
         f.setFloat("KEYX", 1);
         f.kernelErrorKeys = {"KEYX"};
       },
       false},
      {"result byte",
       [](FakeSMC& f) {
         f.setFloat("KEYX", 1);
         f.resultByteForKey["KEYX"] = 1;
       },
       false},
      {"other type",
       [](FakeSMC& f) {
         f.setKey("KEYX", {smcKeyCode("ui8 "), 4, 0, {1, 0, 0, 0}});
       },
       true},
      {"other size",
       [](FakeSMC& f) {
         f.setKey("KEYX", {SMC::kFloatType, 2, 0, {1, 0}});
       },
       true},
      {"not a number",
       [](FakeSMC& f) { f.setFloat("KEYX", std::numeric_limits<float>::quiet_NaN()); }, true},
      {"infinite", [](FakeSMC& f) { f.setFloat("KEYX", std::numeric_limits<float>::infinity()); },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSMC f;
    c.arrange(f);
    auto smc = SMC::open(f);
    ASSERT_NE(smc, nullptr);
    EXPECT_EQ(smc->readFloat("KEYX"), std::nullopt);
    const std::size_t callsAfterFirst = f.inputs.size();
    EXPECT_EQ(smc->readFloat("KEYX"), std::nullopt);
    const std::size_t secondCalls = f.inputs.size() - callsAfterFirst;
    const bool askedInfoAgain = secondCalls > 0 && f.inputs.back()[42] == 9;
    EXPECT_EQ(askedInfoAgain, !c.infoCached);
  }
}

TEST_F(SMCTest, AFailedValueReadIsNotCachedAsAFailure) {
  fake.setFloat("PSTR", 3.0f);
  auto smc = open();
  fake.resultByteForKey["PSTR"] = 0x84;
  EXPECT_EQ(smc->readFloat("PSTR"), std::nullopt);
  fake.resultByteForKey.clear();
  EXPECT_EQ(smc->readFloat("PSTR"), 3.0);
}

TEST_F(SMCTest, KeysOfOtherLengthsAreNeverSent) {
  fake.setFloat("PSTR", 3.0f);
  auto smc = open();
  EXPECT_EQ(smc->readFloat("XPSTR"), std::nullopt);  // would pack to "PSTR"
  EXPECT_EQ(smc->readFloat("PST"), std::nullopt);
  EXPECT_EQ(smc->readFloat(""), std::nullopt);
  EXPECT_TRUE(fake.inputs.empty());
}

}  // namespace
}  // namespace ebbwise
