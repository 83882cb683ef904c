#include "sensors/power/chip_power_reader.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/fake_io_report.h"

namespace ebbwise {
namespace {

using test::FakeIOReport;

TEST(ChipEnergyTest, LaterGenerationsCoreAndClusterChannelsArePartsOfTheCPU) {
  // Channel names as later chips publish them beside "CPU Energy".
  const std::map<std::string, double> channels = {
      {"CPU Energy", 3.0},   {"EACC_CPU0", 0.2},  {"PACC0_CPU0", 0.9},       {"EACC_CPU", 0.7},
      {"PACC0_CPU", 2.3},    {"MCPU0_0", 0.4},    {"PACC_0", 0.5},           {"GPU", 0.5},
      {"GPU SRAM0_0", 0.25}, {"GPU Energy", 0.7}, {"DRAM0_0", 0.5},          {"ANE0_0", 0.25},
      {"AVE0_0", 0.25},      {"ISP0_0", 0.125},   {"apciec2 Energy", 0.125}, {"VDEC0_0", 0.5},
  };
  EXPECT_EQ(ChipEnergy::fromChannels(channels), ChipEnergy(3.0, 0.75, 0.875, 0.875));
}

TEST(ChipEnergyTest, EachNameGoesToItsPart) {
  const std::pair<std::vector<std::string>, ChipEnergy> groups[] = {
      // First-generation parts of the total, and the duplicate graphics total.
      {{"ECPU0", "PCPU", "ECPM", "PCPM1", "CPU2", "EACC", "GPU Energy"}, {}},
      {{"GPU0"}, {0, 1, 0, 0}},
      {{"AVD", "VDEC"}, {0, 0, 1, 0}},
      // Lookalikes of the cluster tags belong to other blocks; names are
      // case-sensitive.
      {{"PACCEL", "EACCX_0", "MCPUX", "cpu energy", "ANE", ""}, {0, 0, 0, 1}},
  };
  for (const auto& [names, expected] : groups) {
    for (const auto& name : names) {
      EXPECT_EQ(ChipEnergy::fromChannels({{name, 1.0}}), expected) << '"' << name << '"';
    }
  }
  EXPECT_EQ(ChipEnergy::fromChannels(
                {{"CPU Energy", -1.0}, {"GPU", 0.0}, {"DRAM", std::nan("")}, {"ANE", 0.5}}),
            ChipEnergy(0, 0, 0, 0.5));
}

TEST(ChipPowerReaderTest, UnitLabelsAndTheirScale) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"mJ", 1e3}, {"uJ", 1e6},       {"\u00B5J", 1e6}, {"\u03BCJ", 1e6},
      {"nJ", 1e9}, {" \tmJ\t ", 1e3}, {"W", {}},        {"MJ", {}},
      {"", {}},    {"m J", {}},       {"\u00B5 J", {}},
  };
  for (const auto& [unit, perJoule] : cases) {
    EXPECT_EQ(ChipPowerReader::unitsPerJoule(unit), perJoule) << '"' << unit << '"';
  }
}

TEST(ChipPowerReaderTest, CreationNeedsChannelsAndASubscription) {
  const std::pair<const char*, void (*)(FakeIOReport&)> cases[] = {
      {"unknown group", [](FakeIOReport& f) { f.group = "Something Else"; }},
      {"no channels", [](FakeIOReport& f) { f.channels.clear(); }},
      {"refused", [](FakeIOReport& f) { f.refuseSubscription = true; }},
  };
  for (const auto& [what, arrange] : cases) {
    FakeIOReport io;
    io.add("CPU Energy", "mJ");
    arrange(io);
    EXPECT_EQ(ChipPowerReader::create(io), nullptr) << what;
  }
}

TEST(ChipPowerReaderTest, ReadsEnergySinceThePreviousRead) {
  FakeIOReport io;
  const auto cpu = io.add("CPU Energy", "mJ", 1'000'000);
  const auto gpu = io.add("GPU Energy", "nJ", 5);
  const auto gpuCores = io.add("GPU", "mJ", 1'000);
  const auto pcie = io.add("apciec2 Energy", "uJ");
  auto reader = ChipPowerReader::create(io);
  ASSERT_NE(reader, nullptr);

  io.advance(cpu, 1500);
  io.advance(gpu, 800'000'000);
  io.advance(gpuCores, 800);
  io.advance(pcie, 1500);
  EXPECT_EQ(reader->read(), ChipEnergy(1.5, 0.8, 0, 0.0015));
  io.advance(cpu, 250);
  EXPECT_EQ(reader->read(), ChipEnergy(0.25, 0, 0, 0));
}

TEST(ChipPowerReaderTest, BadEntriesAreSkippedAndSameNamesAddUp) {
  FakeIOReport io;
  io.add("CPU Energy", "mJ");
  io.add(std::nullopt, "mJ");    // no name
  io.add("DRAM", std::nullopt);  // no unit
  io.add("ANE", "W");            // not an energy
  io.add("DRAM", "mJ");
  io.add("DRAM", "uJ");
  io.add("GPU", "mJ");  // counter went backwards
  auto reader = ChipPowerReader::create(io);
  ASSERT_NE(reader, nullptr);
  for (std::size_t i = 0; i < io.channels.size(); ++i) io.advance(i, 1000);
  io.advance(6, -3000);
  EXPECT_EQ(reader->read(), ChipEnergy(1.0, 0, 0, 1.001));
}

TEST(ChipPowerReaderTest, AFailedReadNeverYieldsALongerInterval) {
  FakeIOReport io;
  const auto cpu = io.add("CPU Energy", "mJ");
  auto reader = ChipPowerReader::create(io);
  ASSERT_NE(reader, nullptr);

  // A failed sample: that read and the next (which only primes) answer nothing.
  io.advance(cpu, 1000);
  io.failSamples = 1;
  EXPECT_EQ(reader->read(), std::nullopt);
  io.advance(cpu, 1000);
  EXPECT_EQ(reader->read(), std::nullopt);
  io.advance(cpu, 1000);
  EXPECT_EQ(reader->read(), ChipEnergy(1, 0, 0, 0));

  // A failed delta rebases on the newest sample at once.
  io.advance(cpu, 1000);
  io.failDeltas = 1;
  EXPECT_EQ(reader->read(), std::nullopt);
  io.advance(cpu, 1000);
  EXPECT_EQ(reader->read(), ChipEnergy(1, 0, 0, 0));
}

}  // namespace
}  // namespace ebbwise
