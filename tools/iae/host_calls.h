// How a host prints the engine's calls. The simulated runs and a Windows reference host
// print the same text, so it is made in one place.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "recording_host.h"

namespace iae_tool {

// One line, e.g. "ReportItem patternId=1 resultCode=0 ...".
std::string HostCallText(const simwin::HostCall& call);

// One object with the record's field names, in the record's order: kind, patternId, resultCode, genericPattern,
// elementType, controlData, controlPath, userAction, desiredState, patternVersion, window,
// count, version (those the kind has). controlData is its text when it is valid UTF-8,
// else its bytes in hex with "controlDataEncoding": "hex".
nlohmann::ordered_json HostCallJson(const simwin::HostCall& call);

bool IsValidUtf8(std::string_view bytes);

}  // namespace iae_tool
