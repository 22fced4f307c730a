#include "cli/report.h"

#include <algorithm>

#include "base/path.h"
#include "cli/json.h"

namespace qv::cli {

namespace {

const char* endName(JobEnd end) {
    switch (end) {
        case JobEnd::Done:
            return "done";
        case JobEnd::Failed:
            return "failed";
        case JobEnd::Cancelled:
            return "cancelled";
        case JobEnd::NotStarted:
            return "not_started";
    }
    return "failed";
}

const char* batchEndName(BatchSummary::End end) {
    switch (end) {
        case BatchSummary::End::Finished:
            return "finished";
        case BatchSummary::End::Stopped:
            return "stopped";
        case BatchSummary::End::EncoderCannotStart:
            return "encoder_cannot_start";
        case BatchSummary::End::Aborted:
            return "aborted";
    }
    return "aborted";
}

constexpr int kBarWidth = 30;

}  // namespace

Report::Report(bool json, bool terminal, int jobs, int firstJob)
    : json_(json), terminal_(terminal && !json), jobs_(jobs), first_(firstJob) {}

void Report::emit(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void Report::clearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", stderr);
    barShown_ = false;
}

void Report::say(const std::string& line) {
    clearBar();
    std::fputs((line + "\n").c_str(), stderr);
    drawBar();
    std::fflush(stderr);
}

void Report::drawBar() {
    if (!terminal_ || ended_ || jobs_ <= 0) return;
    double done = converted_ + failed_ + cancelled_;
    for (const auto& r : running_) done += r.second;
    const double share = std::clamp(done / jobs_, 0.0, 1.0);
    const int filled = static_cast<int>(share * kBarWidth);
    std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "] " +
                      std::to_string(static_cast<int>(share * 100)) + "% " +
                      std::to_string(converted_ + failed_ + cancelled_) + "/" +
                      std::to_string(jobs_);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    barShown_ = true;
}

void Report::jobStarted(int job, const std::string& source, const std::string& dest) {
    running_.emplace_back(job, 0.0);
    if (json_) {
        emit(JsonObject()
                 .text("event", "job_started")
                 .number("job", job + first_)
                 .text("source", source)
                 .text("result", dest)
                 .line());
        return;
    }
    // A plan's line is one job of a batch whose size this process does not know.
    const std::string of = first_ == 0 ? "/" + std::to_string(jobs_) : std::string();
    say("[" + std::to_string(job + first_ + 1) + of + "] " + fileNameOf(source) + " -> " + dest);
}

void Report::progress(int job, double fraction, double speed) {
    for (auto& r : running_)
        if (r.first == job) r.second = fraction;
    if (json_) {
        emit(JsonObject()
                 .text("event", "progress")
                 .number("job", job + first_)
                 .real("fraction", fraction)
                 .real("speed", speed)
                 .line());
        return;
    }
    clearBar();
    drawBar();
}

void Report::jobEnded(int job, JobEnd end, const std::string& reason) {
    running_.erase(std::remove_if(running_.begin(), running_.end(),
                                  [job](const auto& r) { return r.first == job; }),
                   running_.end());
    switch (end) {
        case JobEnd::Done:
            ++converted_;
            break;
        case JobEnd::Failed:
            ++failed_;
            break;
        case JobEnd::Cancelled:
        case JobEnd::NotStarted:
            ++cancelled_;
            break;
    }
    if (json_) {
        JsonObject o;
        o.text("event", "job_ended").number("job", job + first_).text("end", endName(end));
        if (end == JobEnd::Failed) o.text("reason", reason);
        emit(o.line());
    }
    // The reason goes to standard error in both modes: a script's log keeps it.
    const std::string number = "[" + std::to_string(job + first_ + 1) + "] ";
    if (end == JobEnd::Failed)
        say(number + "失敗: " + reason);
    else if (end == JobEnd::Cancelled)
        say(number + "中止しました");
    else if (!json_ && end == JobEnd::Done)
        say(number + "完了");
}

void Report::batchEnded(const BatchSummary& summary) {
    ended_ = true;
    end_ = summary.end;
    clearBar();
    for (const LeftBehind& l : summary.leftBehind)
        say("前の変換結果が " + l.hidden + " に残っています (" + l.why + ")");
    if (json_)
        emit(JsonObject()
                 .text("event", "batch_ended")
                 .text("end", batchEndName(summary.end))
                 .number("converted", converted_)
                 .number("failed", failed_)
                 .number("cancelled", cancelled_)
                 .line());
    say("合計 " + std::to_string(jobs_) + " 件: 変換 " + std::to_string(converted_) + " 件, 失敗 " +
        std::to_string(failed_) + " 件" +
        (cancelled_ ? ", 中止 " + std::to_string(cancelled_) + " 件" : std::string()));
}

}  // namespace qv::cli
