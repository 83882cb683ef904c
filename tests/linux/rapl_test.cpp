#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "linux/fixture_tree.h"
#include "linux/rapl_counters.h"
#include "linux/rapl_io_report.h"
#include "sensors/power/chip_power_reader.h"

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;

// A user who is neither root nor the fixture files' owner, whoever runs the tests.
constexpr Credentials kUser{60001, 60001};

const char* kPackage = "class/powercap/intel-rapl:0/energy_uj";
const char* kCore = "class/powercap/intel-rapl:0:0/energy_uj";
const char* kUncore = "class/powercap/intel-rapl:0:1/energy_uj";
const char* kDram = "class/powercap/intel-rapl:0:2/energy_uj";
const char* kMmio = "class/powercap/intel-rapl-mmio:0/energy_uj";
constexpr std::uint64_t kRange = 262143328850;

struct Notices {
  std::vector<std::string> said;
  Notice notice() {
    return [this](const std::string& message) { said.push_back(message); };
  }
};

TEST(RaplIOReport, TheDomainsBecomeTheChipsEnergyChannels) {
  FixtureTree machine("sys/rapl");
  RaplCounters counters(machine.root(), kUser, Notice{});
  RaplIOReport report(counters);
  auto reader = ChipPowerReader::create(report);
  ASSERT_TRUE(reader);

  machine.write(kPackage, std::to_string(143890112233 + 3'500'000));
  machine.write(kCore, std::to_string(58123001234 + 2'000'000));
  machine.write(kUncore, std::to_string(9012345678 + 800'000));
  machine.write(kDram, std::to_string(20456789012 + 400'000));
  machine.write(kMmio, "999999999999");  // the package again, through MMIO: never counted
  machine.write("class/powercap/intel-rapl:1/energy_uj", "262000000000");  // the platform
  const auto energy = reader->read();
  ASSERT_TRUE(energy);
  EXPECT_NEAR(energy->processor, 2.0, 1e-9);
  EXPECT_NEAR(energy->graphics, 0.8, 1e-9);
  EXPECT_EQ(energy->video, 0.0);
  // The rest of the package (0.7 J) and memory (0.4 J).
  EXPECT_NEAR(energy->memoryAndChip, 1.1, 1e-9);
}

TEST(RaplIOReport, APackageWithoutCoreFiguresIsAllProcessor) {
  FixtureTree machine("sys/rapl");
  for (const char* zone : {"intel-rapl:0:0", "intel-rapl:0:1", "intel-rapl:0:2"}) {
    std::filesystem::remove_all(machine.path(std::string("class/powercap/") + zone));
  }
  RaplCounters counters(machine.root(), kUser, Notice{});
  RaplIOReport report(counters);
  auto reader = ChipPowerReader::create(report);
  ASSERT_TRUE(reader);
  machine.write(kPackage, std::to_string(143890112233 + 1'250'000));
  const auto energy = reader->read();
  ASSERT_TRUE(energy);
  EXPECT_NEAR(energy->processor, 1.25, 1e-9);
  EXPECT_EQ(energy->total(), energy->processor);
}

TEST(RaplCounters, TotalsCountAcrossWrapsAndNeverGoBack) {
  FixtureTree machine("sys/rapl");
  machine.write(kPackage, std::to_string(kRange - 1'000'000));
  RaplCounters counters(machine.root(), kUser, Notice{});
  struct Step {
    const char* what;
    std::string raw;
    std::uint64_t total;
  };
  const std::vector<Step> steps = {
      {"the counter wraps at its range", "500000", 1'500'000},
      {"it counts on", "700000", 1'700'000},
      {"garbled", "7e5 uJ", 1'700'000},
      {"truncated", "", 1'700'000},
      {"beyond its range", std::to_string(kRange + 5), 1'700'000},
      {"a step back that is no wrap (a reset)", "100", 1'700'000},
      {"it counts on from there", "1100", 1'701'000},
  };
  for (const Step& s : steps) {
    machine.write(kPackage, s.raw);
    EXPECT_EQ(counters.read().package, s.total) << s.what;
  }
}

TEST(RaplCounters, CountersOnlyRootMayReadAreLeftOutAndSaidOnce) {
  FixtureTree machine("sys/rapl");
  for (const char* file :
       {kPackage, kCore, kUncore, kDram, kMmio, "class/powercap/intel-rapl:1/energy_uj"}) {
    ::chmod(machine.path(file).c_str(), 0400);
  }
  Notices notices;
  RaplCounters counters(machine.root(), kUser, notices.notice());
  EXPECT_FALSE(counters.available());
  const auto totals = counters.read();
  EXPECT_FALSE(totals.package || totals.core || totals.psys);
  RaplIOReport report(counters);
  EXPECT_FALSE(ChipPowerReader::create(report));
  ASSERT_EQ(notices.said.size(), 1u);
  EXPECT_NE(notices.said[0].find("sudo chmod a+r " + machine.root() +
                                 "/class/powercap/intel-rapl:*/energy_uj"),
            std::string::npos)
      << notices.said[0];

  // With only the package locked, the other domains still count.
  ::chmod(machine.path(kCore).c_str(), 0444);
  RaplCounters partly(machine.root(), kUser, Notice{});
  EXPECT_TRUE(partly.read().core);
  EXPECT_FALSE(partly.read().package);
}

}  // namespace
}  // namespace ebbwise::linux_host
