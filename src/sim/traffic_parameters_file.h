// The file the parameter panel saves the car-following model's parameters to, read back at start.
#pragma once

#include "traffic/idm.h"
#include "traffic/ring.h"

#include <filesystem>
#include <string>

namespace kl {

// Reads what it can of the file into P, which keeps its values for the rest. Returns one line saying
// what could not be read, empty when all was read or the file is missing.
std::string LoadTrafficParameters(const std::filesystem::path& file, IdmParameters& P);

// The file --traffic-parameters names, checked before the run as a key script is: empty when every
// line is good; else one line naming the file and, for its first bad line, the line's number and
// what is wrong ("FILE:3: unknown name \"speed\""), or why the file cannot be read.
std::string CheckGivenTrafficParameters(const std::filesystem::path& file);

// Writes P to the file whole (its folder made when missing); returns why it could not, empty on success.
std::string SaveTrafficParameters(const std::filesystem::path& file, const IdmParameters& P);

namespace mdlKl {
struct ProgramState;
}

// The file beside the settings file (in `folder`) that a scenario's parameters are saved to: the
// open street's traffic-model.txt, the ring's traffic-model-ring.txt.
std::filesystem::path ScenarioParametersFile(const std::filesystem::path& folder, TrafficScenario scenario);

// Makes `scenario` the one the traffic runs on: its default parameters, then those read from the
// file --traffic-parameters gave, else from its own file beside the settings (in `folder`, which
// also becomes where Save writes). Returns what LoadTrafficParameters said; a given file that does
// not exist is said too.
std::string ChooseScenario(mdlKl::ProgramState& P, TrafficScenario scenario,
                           const std::filesystem::path& folder);

} // namespace kl
