// The parameter file as a user meets it: what Save writes comes back exactly at the next start, and a
// damaged file keeps the defaults for what it spoils and says so in one line.
#include "sim/mdl_kl.h"
#include "sim/traffic_parameters_file.h"
#include "support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace kl {
namespace {

void write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(TrafficParametersFile, WhatIsSavedReadsBackExactlyIntoAMissingFolder) {
    test::TempDir dir;
    const auto file = dir.path() / "new folder" / "traffic-model.txt";
    IdmParameters saved;
    saved.DesiredSpeed = 100.0 / 3.6;
    saved.TimeHeadway = 0.1 + 0.2;
    saved.MinimumGap = 7.25;
    saved.Politeness = 0.0;
    ASSERT_EQ(SaveTrafficParameters(file, saved), "");

    std::ifstream in(file);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("# ", 0), 0u) << "a first comment line says what the file is";

    IdmParameters read;
    EXPECT_EQ(LoadTrafficParameters(file, read), "");
    EXPECT_EQ(read, saved);

    IdmParameters untouched;
    EXPECT_EQ(LoadTrafficParameters(dir.path() / "none.txt", untouched), "") << "a missing file is silent";
    EXPECT_EQ(untouched, IdmParameters{});

    // What the open street saved does not become another street's: each keeps its own defaults.
    ASSERT_EQ(SaveTrafficParameters(ScenarioParametersFile(dir.path(), TrafficScenario::Open), saved), "");
    for (const TrafficScenario street : AllScenarios) {
        mdlKl::ProgramState program;
        EXPECT_EQ(ChooseScenario(program, street, dir.path()), "");
        EXPECT_EQ(program.TrafficParameters,
                  street == TrafficScenario::Open ? saved : scenario_default_parameters(street))
            << traffic_scenario_name(street);
    }
}

TEST(TrafficParametersFile, DamageKeepsTheDefaultsForWhatItSpoilsAndIsToldInOneLine) {
    test::TempDir dir;
    const auto file = dir.path() / "traffic-model.txt";
    write(file, "# edited by hand\n"
                "minimum_gap_m = 3.5\n"
                "speed = 30\n"                     // unknown name
                "time_headway_s = 1.2x\n"          // trailing rubbish
                "max_acceleration_m_per_s2 = 1e\n" // half a number
                "politeness = 7\n"                 // out of range
                "threshold_m_per_s2 = nan\n"       // not finite
                "exponent\n"                       // no value at all
                "comfort_deceleration_m_per_s2 =\n");
    IdmParameters P;
    const std::string report = LoadTrafficParameters(file, P);
    EXPECT_EQ(P.MinimumGap, 3.5) << "the good line is taken";
    IdmParameters expected;
    expected.MinimumGap = 3.5;
    EXPECT_EQ(P, expected) << "everything else keeps its default";
    EXPECT_EQ(report.find('\n'), std::string::npos);
    for (const char* part :
         {"line 3: unknown name \"speed\"", "line 4: time_headway_s is not a number",
          "line 5: max_acceleration_m_per_s2 is not a number", "line 6: politeness = 7 is outside 0 to 1"})
        EXPECT_NE(report.find(part), std::string::npos) << part << " in: " << report;
    EXPECT_NE(report.find("and 3 more"), std::string::npos) << report;
    // Named with --traffic-parameters, the same file is refused at its first bad line.
    EXPECT_EQ(CheckGivenTrafficParameters(file), file.string() + ":3: unknown name \"speed\"");

    // A folder where the file should be cannot be read as one.
    const auto folder = dir.path() / "folder.txt";
    std::filesystem::create_directory(folder);
    IdmParameters unread;
    EXPECT_NE(LoadTrafficParameters(folder, unread).find("not a file"), std::string::npos);
    EXPECT_EQ(unread, IdmParameters{});
    EXPECT_EQ(CheckGivenTrafficParameters(folder), folder.string() + ": cannot read the file");
    write(file, "# " + std::string(64 * 1024, 'x') + "\n");
    EXPECT_EQ(CheckGivenTrafficParameters(file), file.string() + ": too large for a parameters file");
    write(file, "# only comments\n\npoliteness = 0.5\n");
    EXPECT_EQ(CheckGivenTrafficParameters(file), "");
}

} // namespace
} // namespace kl
