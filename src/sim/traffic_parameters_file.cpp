// Beside the settings a missing file is the usual case (nothing saved yet) and says nothing; a damaged
// one says what was left at its default, all in one line. A file named on the command line was asked
// for: anything wrong with it refuses the run rather than leave the user with defaults unnoticed.
#include "sim/traffic_parameters_file.h"

#include "platform/os/files.h"
#include "sim/mdl_kl.h"
#include "traffic/parameter_text.h"

namespace kl {

namespace {

// Far more than the file ever holds: anything longer is not this file.
constexpr std::size_t kMaxBytes = 64 * 1024;
// The report stays one readable line however damaged the file.
constexpr std::size_t kShownProblems = 4;

// The file's text, or why there is none to read.
struct FileText {
    enum class Problem { None, Missing, NotAFile, Unreadable, TooLong };
    Problem problem = Problem::None;
    std::string text;
};

FileText read_text(const std::filesystem::path& file) {
    using Problem = FileText::Problem;
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) return {Problem::Missing, {}};
    if (!platform::FileExists(file)) return {Problem::NotAFile, {}};
    const auto bytes = platform::ReadFileBytes(file, kMaxBytes + 1);
    if (!bytes) return {Problem::Unreadable, {}};
    if (bytes->size() > kMaxBytes) return {Problem::TooLong, {}};
    return {Problem::None, std::string(bytes->begin(), bytes->end())};
}

} // namespace

std::string LoadTrafficParameters(const std::filesystem::path& file, IdmParameters& P) {
    using Problem = FileText::Problem;
    const FileText read = read_text(file);
    const std::string what = "the traffic model's parameters in " + file.string();
    switch (read.problem) {
    case Problem::Missing:
        return {};
    case Problem::NotAFile:
        return what + " is not a file; the defaults stay";
    case Problem::Unreadable:
        return what + " cannot be read; the defaults stay";
    case Problem::TooLong:
        return what + " is too long to be that file; the defaults stay";
    case Problem::None:
        break;
    }
    const std::vector<ParameterProblem> problems = read_parameter_text(read.text, P);
    if (problems.empty()) return {};
    std::string line = what + ": ";
    for (std::size_t i = 0; i < problems.size() && i < kShownProblems; ++i)
        line += (i > 0 ? "; line " : "line ") + std::to_string(problems[i].Line) + ": " + problems[i].What;
    if (problems.size() > kShownProblems)
        line += "; and " + std::to_string(problems.size() - kShownProblems) + " more lines";
    return line + " (the defaults stay for those)";
}

std::string CheckGivenTrafficParameters(const std::filesystem::path& file) {
    using Problem = FileText::Problem;
    const FileText read = read_text(file);
    const std::string name = file.string();
    switch (read.problem) {
    case Problem::Missing:
        return name + ": no such file";
    case Problem::NotAFile:
    case Problem::Unreadable:
        return name + ": cannot read the file";
    case Problem::TooLong:
        return name + ": too large for a parameters file";
    case Problem::None:
        break;
    }
    IdmParameters unused;
    const std::vector<ParameterProblem> problems = read_parameter_text(read.text, unused);
    if (problems.empty()) return {};
    return name + ":" + std::to_string(problems.front().Line) + ": " + problems.front().What;
}

std::filesystem::path ScenarioParametersFile(const std::filesystem::path& folder, TrafficScenario scenario) {
    // Each street has defaults of its own, so each keeps its own file: the open street's name is the
    // one it always had.
    if (scenario == TrafficScenario::Open) return folder / "traffic-model.txt";
    return folder / (std::string("traffic-model-") + traffic_scenario_name(scenario) + ".txt");
}

std::string ChooseScenario(mdlKl::ProgramState& P, TrafficScenario scenario,
                           const std::filesystem::path& folder) {
    P.Scenario = scenario;
    P.TrafficParameters = scenario_default_parameters(scenario);
    P.TrafficParametersFile = ScenarioParametersFile(folder, scenario);
    if (P.TrafficParametersGiven.empty())
        return LoadTrafficParameters(P.TrafficParametersFile, P.TrafficParameters);
    std::error_code ec;
    if (!std::filesystem::exists(P.TrafficParametersGiven, ec))
        return "the traffic model's parameters file " + P.TrafficParametersGiven.string() +
               " does not exist; the defaults stay";
    return LoadTrafficParameters(P.TrafficParametersGiven, P.TrafficParameters);
}

std::string SaveTrafficParameters(const std::filesystem::path& file, const IdmParameters& P) {
    if (file.empty()) return "there is no file to save to";
    return platform::WriteWholeFile(file, parameter_text(P));
}

} // namespace kl
