#pragma once
// How long the rest of a batch will take, from the media seconds its encoders have made so
// far per second of real time. The media length of a job not yet started is taken to be
// the mean length of the jobs whose length an encoder has reported.
#include <map>
#include <optional>
#include <string>

namespace qv {

class BatchTimeLeft {
  public:
    BatchTimeLeft(int jobs, int passes);

    // seconds: media seconds one pass of the job is to make (0 when unknown); fraction of
    // the whole job, 0..1.
    void progress(int job, double fraction, double seconds);
    // A job that made its result counts whole; any other end counts as far as it came.
    void jobEnded(int job, bool madeResult);

    // Real seconds left, `elapsed` real seconds after the batch began; nothing until media
    // time has been made and some job's length is known.
    std::optional<double> secondsLeft(double elapsed) const;

  private:
    struct Job {
        double fraction = 0, seconds = 0;
        bool ended = false;
    };
    int jobs_, passes_;
    std::map<int, Job> seen_;  // jobs with a report, or ended
};

// "3:25", or "1:02:03" from an hour on; whole seconds, rounded up.
std::string timeLeftText(double seconds);

}  // namespace qv
