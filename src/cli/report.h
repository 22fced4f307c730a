#pragma once
// What the tool tells while it converts: one line per job and a total on standard error
// (a bar that redraws itself on a terminal), or one JSON object per event on standard
// output.
#include <cstdio>
#include <string>
#include <vector>

#include "run/batch_engine.h"

namespace qv::cli {

class Report : public BatchObserver {
  public:
    // firstJob: the number the engine's job 0 is reported as (a plan's line).
    Report(bool json, bool terminal, int jobs, int firstJob = 0);

    void jobStarted(int job, const std::string& source, const std::string& dest) override;
    void progress(int job, double fraction, double speed) override;
    void jobEnded(int job, JobEnd end, const std::string& reason) override;
    void batchEnded(const BatchSummary& summary) override;

    int converted() const { return converted_; }
    int failed() const { return failed_; }
    int cancelled() const { return cancelled_; }
    bool ended() const { return ended_; }
    BatchSummary::End end() const { return end_; }

    // A line on standard error, after the bar is cleared.
    void say(const std::string& line);

  private:
    void drawBar();
    void clearBar();
    void emit(const std::string& line);

    bool json_, terminal_;
    int jobs_, first_;
    int converted_ = 0, failed_ = 0, cancelled_ = 0;
    bool ended_ = false, barShown_ = false;
    BatchSummary::End end_ = BatchSummary::End::Finished;
    std::vector<std::pair<int, double>> running_;  // job and its fraction
    std::vector<std::string> sources_;
};

}  // namespace qv::cli
