#pragma once
// One job of a plan as one JSON line (--plan writes them, --run-plan reads one back).
#include <optional>
#include <string>
#include <string_view>

#include "run/batch_plan.h"

namespace qv::cli {

struct PlanLine {
    int index = 0;
    PlannedJob job;
    std::string makeFolder;  // the destination folder to make first (folder mode); may be empty
};

std::string planLineText(const PlanLine& line);

// Nullopt, and why in `error`, when the line is not one of ours.
std::optional<PlanLine> parsePlanLine(std::string_view text, std::string* error);

}  // namespace qv::cli
