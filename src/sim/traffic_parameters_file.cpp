// A missing file is the usual case (nothing saved yet) and says nothing; a damaged one says what was
// left at its default, all in one line.
#include "sim/traffic_parameters_file.h"

#include "platform/os/files.h"
#include "sim/mdl_kl.h"
#include "traffic/parameter_text.h"

#include <string_view>

namespace kl {

namespace {

// Far more than the file ever holds: anything longer is not this file.
constexpr std::size_t kMaxBytes = 64 * 1024;
// The report stays one readable line however damaged the file.
constexpr std::size_t kShownProblems = 4;

} // namespace

std::string LoadTrafficParameters(const std::filesystem::path& file, IdmParameters& P) {
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) return {};
    const std::string what = "the traffic model's parameters in " + file.string();
    if (!platform::FileExists(file)) return what + " is not a file; the defaults stay";
    const auto bytes = platform::ReadFileBytes(file, kMaxBytes + 1);
    if (!bytes) return what + " cannot be read; the defaults stay";
    if (bytes->size() > kMaxBytes) return what + " is too long to be that file; the defaults stay";
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    const std::vector<std::string> problems = read_parameter_text(text, P);
    if (problems.empty()) return {};
    std::string line = what + ": ";
    for (std::size_t i = 0; i < problems.size() && i < kShownProblems; ++i)
        line += (i > 0 ? "; " : "") + problems[i];
    if (problems.size() > kShownProblems)
        line += "; and " + std::to_string(problems.size() - kShownProblems) + " more lines";
    return line + " (the defaults stay for those)";
}

std::filesystem::path ScenarioParametersFile(const std::filesystem::path& folder, TrafficScenario scenario) {
    return folder / (scenario == TrafficScenario::Ring ? "traffic-model-ring.txt" : "traffic-model.txt");
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
