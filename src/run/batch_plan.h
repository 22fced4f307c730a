#pragma once
// A batch worked out beforehand, job by job, for another process or machine to run: each
// job's result and the argument lists of its passes, exactly as the batch engine would run
// them, and the checks the engine makes between the jobs of one batch.
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "settings/conversion_settings.h"

namespace qv {

// Why a job fails its checks (UTF-8), shared by the engine and the plan.
inline const std::string kSameAsSource = "変換結果が元のファイルと同じになります";
inline const std::string kOtherSource = "変換結果が他の変換対象ファイルと同じ名前になります";
inline const std::string kOtherResult = "変換結果が他のファイルの変換結果と同じ名前になります";
inline const std::string kNotRegular = "変換結果の名前がリンクまたはフォルダです";
inline const std::string kSourceMissing = "ファイルが見つかりません";
inline const std::string kSourceNotRegular = "変換元が通常のファイルではありません";

struct PlannedJob {
    std::string source, dest;
    // The encoder's arguments of each pass, in order (none when refused).
    std::vector<std::vector<std::string>> passes;
    // The source's time, given to the result.
    std::optional<timespec> stamp;
    // Why the batch would not run this job; empty when it would.
    std::string refused;
};

struct BatchPlan {
    std::vector<PlannedJob> jobs;
    // The settings give no destination (no destination mode, or folder mode without a
    // folder): the batch would not start.
    bool noDestination = false;
};

// The jobs of a batch of `sources` with these settings, checked against one another in
// order as the engine checks them, without touching any file.
BatchPlan planBatch(const ConversionSettings& settings, const std::vector<std::string>& sources,
                    bool preview);

}  // namespace qv
