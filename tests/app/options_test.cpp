// Command-line options: defaults, every option in both spellings, bad values, help and the data folder.
#include "app/options.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace kl {
namespace {

ParseResult parse(std::vector<std::string> args) {
    return parse_options(args);
}

// The error line of a parse that must fail, after checking that it did.
std::string error_of(std::vector<std::string> args) {
    const ParseResult r = parse_options(args);
    EXPECT_EQ(r.kind, ParseResult::Kind::Error);
    EXPECT_EQ(r.exit_code(), 2);
    return r.error;
}

TEST(Options, APlainStartChangesNothing) {
    const ParseResult r = parse({});
    ASSERT_EQ(r.kind, ParseResult::Kind::Run);
    EXPECT_EQ(r.exit_code(), 0);
    const Options& o = r.options;
    EXPECT_FALSE(o.windowed);
    EXPECT_FALSE(o.no_dialog);
    EXPECT_FALSE(o.data || o.frames || o.keys || o.fixed_step || o.seed || o.roads || o.screenshot ||
                 o.stats || o.traffic_log || o.dump_traffic || o.video);
    EXPECT_EQ(o.traffic_model, TrafficModelKind::Classic);
}

TEST(Options, EveryOptionIsTakenInBothSpellings) {
    const ParseResult a =
        parse({"--windowed",      "--data", "/srv/kl",        "--no-dialog", "--frames", "120",
               "--keys",          "k.txt",  "--fixed-step",   "0.02",        "--seed",   "4294967295",
               "--roads",         "3",      "--screenshot",   "s.png",       "--stats",  "st.txt",
               "--traffic-log",   "t.log",  "--dump-traffic", "d.txt",       "--video",  "v.mp4",
               "--video-quality", "30"});
    const ParseResult b =
        parse({"--windowed", "--data=/srv/kl", "--no-dialog", "--frames=120", "--keys=k.txt",
               "--fixed-step=0.02", "--seed=4294967295", "--roads=3", "--screenshot=s.png", "--stats=st.txt",
               "--traffic-log=t.log", "--dump-traffic=d.txt", "--video=v.mp4", "--video-quality=30"});
    for (const ParseResult* r : {&a, &b}) {
        ASSERT_EQ(r->kind, ParseResult::Kind::Run) << r->error;
        const Options& o = r->options;
        EXPECT_TRUE(o.windowed);
        EXPECT_TRUE(o.no_dialog);
        EXPECT_EQ(o.data, std::filesystem::path("/srv/kl"));
        EXPECT_EQ(o.frames, 120);
        EXPECT_EQ(o.keys, std::filesystem::path("k.txt"));
        EXPECT_EQ(o.fixed_step, 0.02);
        EXPECT_EQ(o.seed, 4294967295u);
        EXPECT_EQ(o.roads, 3);
        EXPECT_EQ(o.screenshot, std::filesystem::path("s.png"));
        EXPECT_EQ(o.stats, std::filesystem::path("st.txt"));
        EXPECT_EQ(o.traffic_log, std::filesystem::path("t.log"));
        EXPECT_EQ(o.dump_traffic, std::filesystem::path("d.txt"));
        EXPECT_EQ(o.video, std::filesystem::path("v.mp4"));
        EXPECT_EQ(o.video_quality, 30);
    }
}

TEST(Options, ValuesAtTheirLimitsAndRepeats) {
    EXPECT_EQ(parse({"--frames", "0"}).options.frames, 0);
    EXPECT_EQ(parse({"--frames", "9223372036854775807"}).options.frames, 9223372036854775807LL);
    EXPECT_EQ(parse({"--seed", "0"}).options.seed, 0u);
    EXPECT_EQ(parse({"--roads", "0"}).options.roads, 0);
    EXPECT_EQ(parse({"--roads", "251"}).options.roads, 251);
    EXPECT_EQ(parse({"--fixed-step", "1e-3"}).options.fixed_step, 0.001);
    // A value may contain "=" and may start with a single "-" when it is a file name.
    EXPECT_EQ(parse({"--keys=a=b.txt"}).options.keys, std::filesystem::path("a=b.txt"));
    EXPECT_EQ(parse({"--stats", "-"}).options.stats, std::filesystem::path("-"));
    // The last occurrence wins.
    EXPECT_EQ(parse({"--roads", "2", "--roads=5"}).options.roads, 5);
}

TEST(Options, BadNumbersAreNamed) {
    EXPECT_EQ(error_of({"--frames", "-1"}), "option --frames: '-1' is too small (at least 0)");
    EXPECT_EQ(error_of({"--frames", "9223372036854775808"}),
              "option --frames: '9223372036854775808' is too large (at most 9223372036854775807)");
    EXPECT_EQ(error_of({"--frames", "-99999999999999999999"}),
              "option --frames: '-99999999999999999999' is too small (at least 0)");
    EXPECT_EQ(error_of({"--frames", "ten"}), "option --frames: 'ten' is not a whole number");
    EXPECT_EQ(error_of({"--frames", "+10"}), "option --frames: '+10' is not a whole number");
    EXPECT_EQ(error_of({"--frames", " 10"}), "option --frames: ' 10' is not a whole number");
    EXPECT_EQ(error_of({"--frames", "1.5"}), "option --frames: '1.5' is not a whole number");
    EXPECT_EQ(error_of({"--seed", "4294967296"}),
              "option --seed: '4294967296' is too large (at most 4294967295)");
    EXPECT_EQ(error_of({"--roads", "252"}), "option --roads: '252' is too large (at most 251)");
    EXPECT_EQ(error_of({"--roads", "32768"}), "option --roads: '32768' is too large (at most 251)");
    EXPECT_EQ(error_of({"--roads", "-3"}), "option --roads: '-3' is too small (at least 0)");
    EXPECT_EQ(error_of({"--fixed-step", "0"}), "option --fixed-step: '0' must be more than 0 seconds");
    EXPECT_EQ(error_of({"--fixed-step", "-0.5"}), "option --fixed-step: '-0.5' must be more than 0 seconds");
    EXPECT_EQ(error_of({"--video-quality", "52"}), "option --video-quality: '52' is too large (at most 51)");
    for (const char* v : {"inf", "nan", "1e999", "0.5s", "0,5", "abc"})
        EXPECT_EQ(error_of({"--fixed-step", v}),
                  "option --fixed-step: '" + std::string(v) + "' is not a number of seconds");
}

TEST(Options, MissingAndUnexpectedValues) {
    EXPECT_EQ(error_of({"--data"}), "option --data needs a value DIR");
    EXPECT_EQ(error_of({"--data="}), "option --data needs a value DIR");
    EXPECT_EQ(error_of({"--frames", "--windowed"}), "option --frames needs a value N");
    EXPECT_EQ(error_of({"--windowed=yes"}), "option --windowed takes no value");
    EXPECT_EQ(error_of({"--no-dialog="}), "option --no-dialog takes no value");
}

// Its frame rate is 1 / --fixed-step; measured frame times would make every video play differently.
TEST(Options, AVideoNeedsAFixedStep) {
    EXPECT_EQ(error_of({"--video", "v.mp4", "--frames", "10"}),
              "option --video needs --fixed-step SECONDS (the video plays at 1 / SECONDS frames per second)");
    const ParseResult r = parse({"--video", "v.mp4", "--fixed-step", "0.04"});
    EXPECT_EQ(r.kind, ParseResult::Kind::Run) << r.error;
}

// A scenario is a street of the car-following model; an option of one scenario would be dropped
// unseen on another.
TEST(Options, AScenarioBringsItsModelAndItsOwnOptionsNeedIt) {
    const ParseResult ring = parse({"--scenario", "ring", "--ring-length", "300"});
    ASSERT_EQ(ring.kind, ParseResult::Kind::Run) << ring.error;
    EXPECT_EQ(ring.options.traffic_model, TrafficModelKind::Idm);
    EXPECT_EQ(ring.options.ring_length, 300.0);
    EXPECT_EQ(parse({"--traffic-model=idm", "--scenario=ring"}).kind, ParseResult::Kind::Run);
    EXPECT_EQ(parse({"--scenario", "open"}).options.traffic_model, TrafficModelKind::Classic);

    EXPECT_EQ(error_of({"--scenario", "ring", "--traffic-model", "classic"}),
              "options --scenario ring and --traffic-model classic do not go together (a scenario runs "
              "the car-following model, idm)");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--ring-length", "300"},
             {"--traffic-model", "idm", "--ring-length=300"},
             {"--scenario", "ring", "--ring-length", "300", "--scenario", "open"}})
        EXPECT_EQ(error_of(args), "option --ring-length needs --scenario ring");

    // The roads fed by an inflow: their length and inflows, in range, on their scenarios only.
    const ParseResult onramp = parse({"--scenario=onramp", "--road-length", "20000", "--inflow", "0",
                                      "--ramp-inflow", "2500", "--detectors", "d.csv"});
    ASSERT_EQ(onramp.kind, ParseResult::Kind::Run) << onramp.error;
    EXPECT_EQ(onramp.options.traffic_model, TrafficModelKind::Idm);
    EXPECT_EQ(onramp.options.road_length, 20000.0);
    EXPECT_EQ(onramp.options.inflow, 0.0);
    EXPECT_EQ(onramp.options.ramp_inflow, 2500.0);
    EXPECT_EQ(onramp.options.detectors, std::filesystem::path("d.csv"));
    const ParseResult roadworks = parse({"--scenario", "roadworks", "--road-length=1000", "--inflow=3000"});
    ASSERT_EQ(roadworks.kind, ParseResult::Kind::Run) << roadworks.error;
    EXPECT_EQ(roadworks.options.inflow, 3000.0);
    EXPECT_FALSE(roadworks.options.ramp_inflow);
    EXPECT_EQ(error_of({"--scenario", "roadworks", "--road-length", "999"}),
              "option --road-length: '999' is outside 1000 to 20000 metres");
    EXPECT_EQ(error_of({"--scenario", "onramp", "--inflow", "3000.5"}),
              "option --inflow: '3000.5' is outside 0 to 3000 vehicles an hour");
    EXPECT_EQ(error_of({"--scenario", "onramp", "--ramp-inflow", "-1"}),
              "option --ramp-inflow: '-1' is outside 0 to 2500 vehicles an hour");
    EXPECT_EQ(error_of({"--scenario", "onramp", "--inflow", "lots"}),
              "option --inflow: 'lots' is not a number of vehicles an hour");
    EXPECT_EQ(error_of({"--scenario", "ring", "--road-length", "2000"}),
              "option --road-length needs --scenario roadworks or onramp");
    EXPECT_EQ(error_of({"--inflow", "1000"}), "option --inflow needs --scenario roadworks or onramp");
    EXPECT_EQ(error_of({"--scenario", "roadworks", "--ramp-inflow", "100"}),
              "option --ramp-inflow needs --scenario onramp");
    // Automated vehicles a lane: on the ring and the inflow streets, 0 to 5.
    EXPECT_EQ(parse({"--scenario", "ring", "--automated-vehicles", "5"}).options.automated_vehicles, 5);
    EXPECT_EQ(parse({"--scenario=onramp", "--automated-vehicles=1"}).options.automated_vehicles, 1);
    EXPECT_EQ(error_of({"--scenario", "ring", "--automated-vehicles", "6"}),
              "option --automated-vehicles: '6' is too large (at most 5)");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--automated-vehicles", "1"}, {"--traffic-model", "idm", "--automated-vehicles", "0"}})
        EXPECT_EQ(error_of(args), "option --automated-vehicles needs --scenario ring or roadworks or onramp");
    EXPECT_EQ(error_of({"--scenario", "bridge"}),
              "option --scenario: 'bridge' is not a scenario (open, ring, roadworks or onramp)");

    // The loops measure the car-following model only.
    EXPECT_EQ(parse({"--traffic-model", "idm", "--detectors", "d.csv"}).kind, ParseResult::Kind::Run);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--detectors", "d.csv"}, {"--detectors", "d.csv", "--traffic-model", "classic"}})
        EXPECT_EQ(error_of(args), "option --detectors needs the car-following model (--traffic-model idm, or "
                                  "--scenario ring, roadworks or onramp)");

    // Options of every street stay free.
    const ParseResult everywhere = parse({"--trajectories", "t.csv", "--dump-traffic", "d.json",
                                          "--traffic-log", "l.csv", "--traffic-parameters", "p.txt"});
    EXPECT_EQ(everywhere.kind, ParseResult::Kind::Run) << everywhere.error;
    EXPECT_EQ(everywhere.options.traffic_model, TrafficModelKind::Classic);
    // Help is still help.
    EXPECT_EQ(parse({"--scenario", "ring", "--traffic-model", "classic", "--help"}).kind,
              ParseResult::Kind::Help);
}

TEST(Options, ASweepTakesAKeyOfTheModelOrOfItsStreetInRange) {
    const ParseResult headway = parse({"--vary", "time_headway_s=0.5:2.5", "--roads", "40"});
    ASSERT_EQ(headway.kind, ParseResult::Kind::Run) << headway.error;
    EXPECT_EQ(headway.options.traffic_model, TrafficModelKind::Idm);
    EXPECT_EQ(headway.options.vary.Key, "time_headway_s");
    EXPECT_EQ(headway.options.vary.value(0, 41), 0.5);
    EXPECT_EQ(headway.options.vary.value(20, 41), 1.5);
    EXPECT_EQ(headway.options.vary.value(40, 41), 2.5);
    EXPECT_EQ(parse({"--scenario=ring", "--vary=ring_length_m=2000:300"}).options.vary.To, 300.0);
    EXPECT_EQ(parse({"--scenario=onramp", "--vary=ramp_inflow_veh_per_h=0:2500"}).kind, ParseResult::Kind::Run);

    EXPECT_EQ(error_of({"--vary", "time_headway_s=0.2:2"}),
              "option --vary: time_headway_s takes values from 0.3 to 4");
    EXPECT_EQ(error_of({"--vary", "headway=1:2"}),
              "option --vary: 'headway' is not a key (a name of traffic-model.txt, ring_length_m, "
              "inflow_veh_per_h_per_lane or ramp_inflow_veh_per_h)");
    EXPECT_EQ(error_of({"--vary", "time_headway_s=1"}), "option --vary: 'time_headway_s=1' is not KEY=FROM:TO");
    EXPECT_EQ(error_of({"--vary", "time_headway_s=1:x"}), "option --vary: 'time_headway_s=1:x' is not KEY=FROM:TO");
    EXPECT_EQ(error_of({"--vary", "ring_length_m=300:900"}), "option --vary ring_length_m needs --scenario ring");
    EXPECT_EQ(error_of({"--scenario", "roadworks", "--vary", "ramp_inflow_veh_per_h=0:10"}),
              "option --vary ramp_inflow_veh_per_h needs --scenario onramp");
    EXPECT_EQ(error_of({"--scenario=ring", "--vary=ring_length_m=300:900", "--detectors=d.csv"}),
              "options --detectors and --vary ring_length_m do not go together (the loops stand at the same "
              "places on every road)");
    EXPECT_EQ(error_of({"--vary", "politeness=0:1", "--traffic-model", "classic"}),
              "options --vary and --traffic-model classic do not go together (a sweep runs the "
              "car-following model, idm)");
}

// A run without a window: it has no clock to measure and no key to end it, so it needs a fixed step
// and a frame count, and nothing that needs a window; lane changes are a setting of the
// car-following model only.
TEST(Options, AHeadlessRunNeedsAStepAndAnEndAndNoWindow) {
    const ParseResult r = parse({"--headless", "--fixed-step", "0.1", "--frames", "60", "--summary=s.csv",
                                 "--diagrams", "d.png", "--scenario", "ring", "--lane-changes", "off"});
    ASSERT_EQ(r.kind, ParseResult::Kind::Run) << r.error;
    EXPECT_TRUE(r.options.headless);
    EXPECT_EQ(r.options.summary, std::filesystem::path("s.csv"));
    EXPECT_EQ(r.options.diagrams, std::filesystem::path("d.png"));
    EXPECT_FALSE(r.options.lane_changes);
    EXPECT_TRUE(parse({}).options.lane_changes);
    const std::string needs = "option --headless needs --fixed-step SECONDS and --frames N (a run without a "
                              "window has no clock and no key to end it)";
    EXPECT_EQ(error_of({"--headless", "--frames", "60"}), needs);
    EXPECT_EQ(error_of({"--headless", "--fixed-step", "0.1"}), needs);
    for (const std::string needs_window : {"screenshot", "video", "keys"})
        EXPECT_EQ(error_of({"--headless", "--fixed-step", "0.1", "--frames", "6", "--" + needs_window, "f"}),
                  "options --headless and --" + needs_window + " do not go together (there is no window)");
    EXPECT_EQ(error_of({"--lane-changes", "no", "--scenario", "ring"}),
              "option --lane-changes: 'no' is not on or off");
    EXPECT_EQ(error_of({"--lane-changes", "off"}),
              "option --lane-changes off needs the car-following model (--traffic-model idm, or --scenario "
              "ring, roadworks or onramp)");
    EXPECT_EQ(parse({"--lane-changes", "on"}).kind, ParseResult::Kind::Run);
}

TEST(Options, UnknownOptionsAndStrayArguments) {
    EXPECT_EQ(error_of({"--fullscreen"}), "unknown option '--fullscreen' (see --help)");
    EXPECT_EQ(error_of({"--frame=3"}), "unknown option '--frame' (see --help)");
    EXPECT_EQ(error_of({"-w"}), "unexpected argument '-w' (options start with --; see --help)");
    EXPECT_EQ(error_of({"data"}), "unexpected argument 'data' (options start with --; see --help)");
    EXPECT_EQ(error_of({"--"}), "unexpected argument '--' (options start with --; see --help)");
    EXPECT_EQ(error_of({""}), "unexpected argument '' (options start with --; see --help)");
    // The first error is reported, even after a help request.
    EXPECT_EQ(error_of({"--help", "--bogus"}), "unknown option '--bogus' (see --help)");
}

TEST(Options, HelpListsEveryOptionOnALineOfItsOwn) {
    for (const char* h : {"--help", "-h"}) {
        const ParseResult r = parse({"--windowed", h});
        EXPECT_EQ(r.kind, ParseResult::Kind::Help);
        EXPECT_EQ(r.exit_code(), 0);
    }
    EXPECT_EQ(parse({"--windowed", "--version"}).kind, ParseResult::Kind::Version);
    EXPECT_EQ(parse({"--version"}).exit_code(), 0);
    EXPECT_EQ(parse({"--version", "--help"}).kind, ParseResult::Kind::Help);
    const std::string text = options_help_text("kelvane3d");
    EXPECT_EQ(text.rfind("Usage: kelvane3d [options]\n", 0), 0u);
    const char* lines[] = {"--windowed ",
                           "--data DIR ",
                           "--no-dialog ",
                           "--frames N ",
                           "--keys FILE ",
                           "--fixed-step SECONDS ",
                           "--seed N ",
                           "--roads N ",
                           "--screenshot FILE ",
                           "--stats FILE ",
                           "--traffic-log FILE ",
                           "--dump-traffic FILE ",
                           "--video FILE ",
                           "--video-quality Q ",
                           "--help ",
                           "--version ",
                           "--headless ",
                           "--summary FILE ",
                           "--diagrams FILE ",
                           "--lane-changes on|off "};
    for (const char* l : lines) {
        const std::size_t at = text.find("\n  " + std::string(l));
        ASSERT_NE(at, std::string::npos) << l;
        // Its description follows on the same line.
        const std::size_t end = text.find('\n', at + 1);
        EXPECT_GT(end - at, std::string(l).size() + 10) << l;
    }
}

TEST(Options, DataFolderIsChosenInOrder) {
    test::TempDir cwd;
    const std::filesystem::path installed = "/usr/share/kelvane3d";
    Options o;
    EXPECT_EQ(choose_data_root(o, cwd.path(), installed), installed);
    std::filesystem::create_directories(cwd.path() / "3Z-IDAVEVA");
    EXPECT_EQ(choose_data_root(o, cwd.path(), installed), cwd.path());
    o.data = "/elsewhere";
    EXPECT_EQ(choose_data_root(o, cwd.path(), installed), std::filesystem::path("/elsewhere"));
    EXPECT_FALSE(installed_data_dir().empty());
}

TEST(Options, InstalledDataKeepsSettingsInTheUsersConfigFolder) {
    EXPECT_EQ(user_config_file("/x/cfg", "/home/u"), std::filesystem::path("/x/cfg/kelvane3d/config.dat"));
    EXPECT_EQ(user_config_file(nullptr, "/home/u"),
              std::filesystem::path("/home/u/.config/kelvane3d/config.dat"));
    // An empty or relative XDG_CONFIG_HOME is to be ignored, not made relative to the current folder.
    EXPECT_EQ(user_config_file("", "/home/u"), std::filesystem::path("/home/u/.config/kelvane3d/config.dat"));
    EXPECT_EQ(user_config_file("rel", "/home/u"),
              std::filesystem::path("/home/u/.config/kelvane3d/config.dat"));
    EXPECT_FALSE(user_config_file(nullptr, nullptr).has_value());

    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "share");
    EXPECT_TRUE(is_installed_data(dir.path() / "share", dir.path() / "share" / "."));
    EXPECT_FALSE(is_installed_data(dir.path(), dir.path() / "share"));
    EXPECT_FALSE(is_installed_data(dir.path() / "missing", dir.path() / "missing"));
}

TEST(Options, AFileNamedLikeTheDataFolderIsNotIt) {
    test::TempDir cwd;
    test::WriteBytes(cwd.path() / "3z-idaveva", {1, 2, 3});
    EXPECT_EQ(choose_data_root(Options{}, cwd.path(), "/inst"), std::filesystem::path("/inst"));
}

} // namespace
} // namespace kl
