#include "run/batch_plan.h"

#include "run/batch_rules.h"
#include "run/command_line.h"

namespace qv {

BatchPlan planBatch(const ConversionSettings& settings, const std::vector<std::string>& sources,
                    bool preview) {
    BatchPlan plan;
    if (settings.C1_02 == 1 && settings.C1_03.empty()) {
        plan.noDestination = true;
        return plan;
    }
    const int passes = settings.CheckBox1 ? 2 : 1;
    const SourceSet sourceSet(sources);
    ResultSet results;
    for (const std::string& source : sources) {
        PlannedJob job;
        job.source = source;
        job.stamp = modificationTime(source);
        job.dest = destinationFor(settings, source);
        if (job.dest.empty()) {
            plan.noDestination = true;
            plan.jobs.clear();
            return plan;
        }
        // The engine's checks, in its order.
        if (!job.stamp)
            job.refused =
                sourceState(source) == SourceState::NotRegular ? kSourceNotRegular : kSourceMissing;
        else if (sameFile(job.dest, source))
            job.refused = kSameAsSource;
        else if (sourceSet.contains(job.dest))
            job.refused = kOtherSource;
        else if (isNonRegularEntry(job.dest))
            job.refused = kNotRegular;
        else if (!results.claim(job.dest))
            job.refused = kOtherResult;
        if (job.refused.empty())
            for (int pass = 1; pass <= passes; ++pass)
                job.passes.push_back(
                    buildConversionCommand(settings, source, job.dest, pass, preview).args);
        plan.jobs.push_back(std::move(job));
    }
    return plan;
}

}  // namespace qv
