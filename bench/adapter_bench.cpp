// Start-up cost of the program folder's encoder: the same command through the adapter
// and straight into the installed encoder (given what the adapter would hand it), on a
// one-second clip. Prints the ratio of the medians; the goal is below 1.05.
//
// Then a full encode of a minute-long clip, through the adapter (which
// looks at the result before it says done) and straight, and the look at that result
// alone as a share of the conversion: goals below 1.05 and at most 3 %.
//
// A stream copy needs to know what the source holds. In a batch run the thumbnail call
// probes each source first and the conversion calls reuse those notes, so the measured
// rounds run with the notes in place; one more line shows, for information, the cost of
// a copy whose source nobody has probed yet (a fresh file every round).
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "probe.h"
#include "result_check.h"
#include "rules.h"
#include "timing.h"
#include "translate.h"

namespace {

// The line the adapter hands the installed encoder for args.
std::vector<std::string> directLine(const std::vector<std::string>& args) {
    std::vector<std::string> direct = {"-hide_banner", "-nostdin", "-nostats", "-loglevel",
                                       "error"};
    const qv::adapter::Call call = qv::adapter::parseCall(args);
    qv::adapter::Source source;
    if (qv::adapter::needsSource(call)) source = qv::adapter::probeSource(call.input, {}, nullptr);
    const auto plan = qv::adapter::planCall(call, source, {});
    for (const auto& a : qv::adapter::applyPlan(qv::adapter::translateArguments(args), plan))
        direct.push_back(a);
    return direct;
}

// The look at a finished result in ms, as the adapter pays it: in a process of its own
// whose libraries and decoders got ready while the encoder worked. -1 when it failed.
double timedLook(const std::string& path, const qv::adapter::Expectation& expected,
                 const std::string& video, const std::string& audio) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        qv::adapter::prepareToLook(video, audio, {});
        static volatile std::sig_atomic_t never = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const qv::adapter::CheckResult r = qv::adapter::checkResult(path, expected, never);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        const double sent = r.checked && r.good ? ms : -1;
        const ssize_t written = ::write(fds[1], &sent, sizeof sent);
        ::_exit(written == sizeof sent ? 0 : 1);
    }
    ::close(fds[1]);
    double ms = -1;
    if (pid < 0 || ::read(fds[0], &ms, sizeof ms) != sizeof ms) ms = -1;
    ::close(fds[0]);
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const char* programDir = std::getenv("QV_PROGRAM_DIR");
    std::string adapter =
        programDir ? std::string(programDir) + "/ffmpeg"
                   : (std::filesystem::path(argv[0]).parent_path() / "../program/ffmpeg").string();
    const std::string installed = "/usr/bin/ffmpeg";
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;

    char tmpl[] = "/tmp/qv_adapter_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    const std::string clip = dir + "/clip.avi";
    qvbench::runTimed(installed,
                      {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                       "testsrc=size=160x120:rate=25:duration=1", "-f", "lavfi", "-i",
                       "sine=duration=1", "-c:v", "mpeg4", "-c:a", "mp2", "-shortest", clip});

    struct Case {
        const char* name;
        std::vector<std::string> args;
    } cases[] = {
        {"every setting automatic (stream copy)",
         {"-i", clip, "-y", "-flags", "bitexact", "-vcodec", "copy", "-sameq", "-acodec", "copy",
          dir + "/copy.avi"}},
        {"full settings (encode to 320x240 MPEG-4/AAC)",
         {"-i",   clip,      "-y",      "-threads", "2",       "-flags",  "bitexact",
          "-s",   "320x240", "-aspect", "4:3",      "-vcodec", "mpeg4",   "-b",
          "768k", "-r",      "29.97",   "-croptop", "8",       "-acodec", "libfaac",
          "-ab",  "128k",    "-ar",     "44100",    "-ac",     "2",       dir + "/full.mp4"}},
    };

    std::printf("adapter start-up cost, %d rounds each, median wall time per call\n", rounds);
    double worst = 0;
    for (const Case& c : cases) {
        const std::vector<std::string> direct = directLine(c.args);
        qvbench::runTimed(adapter, c.args);  // warm the caches for both
        qvbench::runTimed(installed, direct);
        std::vector<double> viaAdapter, straight;
        for (int i = 0; i < rounds; ++i) {
            viaAdapter.push_back(qvbench::runTimed(adapter, c.args));
            straight.push_back(qvbench::runTimed(installed, direct));
        }
        const double a = qvbench::median(viaAdapter), d = qvbench::median(straight), ratio = a / d;
        worst = std::max(worst, ratio);
        std::printf("  %-46s adapter %7.1f ms  direct %7.1f ms  ratio %.3f\n", c.name, a, d, ratio);
    }
    {
        // For information: every round copies from a file nobody has probed yet.
        std::vector<double> viaAdapter, straight;
        const std::vector<std::string> tail = {"-y",      "-flags", "bitexact",
                                               "-vcodec", "copy",   "-sameq",
                                               "-acodec", "copy",   dir + "/cold.avi"};
        for (int i = 0; i < rounds; ++i) {
            const std::string fresh = dir + "/fresh" + std::to_string(i) + ".avi";
            std::filesystem::copy_file(clip, fresh);
            std::vector<std::string> args = {"-i", fresh};
            args.insert(args.end(), tail.begin(), tail.end());
            viaAdapter.push_back(qvbench::runTimed(adapter, args));
            std::vector<std::string> direct = {"-hide_banner", "-nostdin", "-nostats", "-loglevel",
                                               "error"};
            for (const auto& a : qv::adapter::translateArguments(args)) direct.push_back(a);
            straight.push_back(qvbench::runTimed(installed, direct));
        }
        const double a = qvbench::median(viaAdapter), d = qvbench::median(straight);
        std::printf("  %-46s adapter %7.1f ms  direct %7.1f ms  ratio %.3f (information)\n",
                    "stream copy, source not probed before", a, d, a / d);
    }
    std::printf("adapter_bench start-up ratio %.3f (goal < 1.05)\n", worst);

    // The full settings line on a minute of 640x480 picture and sound. The adapter's own cost is
    // about fixed (loading the libraries, the look at the result): a one-second clip shows it
    // above, a minute shows it against a conversion.
    const std::string longClip = dir + "/long.avi";
    qvbench::runTimed(
        installed,
        {"-hide_banner", "-loglevel", "error",     "-y",
         "-f",           "lavfi",     "-i",        "testsrc=size=640x480:rate=25:duration=60",
         "-f",           "lavfi",     "-i",        "sine=duration=60",
         "-c:v",         "mpeg4",     "-q:v",      "3",
         "-c:a",         "mp2",       "-shortest", longClip});
    const std::string result = dir + "/long.mp4";
    const std::vector<std::string> full = {
        "-i",   longClip,  "-y",      "-threads", "2",       "-flags",  "bitexact",
        "-s",   "320x240", "-aspect", "4:3",      "-vcodec", "mpeg4",   "-b",
        "768k", "-r",      "29.97",   "-croptop", "8",       "-acodec", "libfaac",
        "-ab",  "128k",    "-ar",     "44100",    "-ac",     "2",       result};
    const std::vector<std::string> direct = directLine(full);
    qvbench::runTimed(adapter, full);
    qvbench::runTimed(installed, direct);
    const int longRounds = std::max(3, rounds / 3);
    std::vector<double> viaAdapter, straight, looks;
    qv::adapter::Expectation expected;
    expected.picture = expected.sound = true;
    expected.length = 60;
    for (int i = 0; i < longRounds; ++i) {
        viaAdapter.push_back(qvbench::runTimed(adapter, full));
        straight.push_back(qvbench::runTimed(installed, direct));
        looks.push_back(timedLook(result, expected, "mpeg4", "aac"));
    }
    const double a = qvbench::median(viaAdapter), d = qvbench::median(straight);
    const double look = qvbench::median(looks);
    if (look < 0) {
        std::fprintf(stderr, "the look at %s found it broken\n", result.c_str());
        return 1;
    }
    std::printf("full encode, 60 s of 640x480, %d rounds, median wall time per call\n", longRounds);
    std::printf("  %-46s adapter %7.1f ms  direct %7.1f ms  ratio %.3f\n",
                "full settings (encode to 320x240 MPEG-4/AAC)", a, d, a / d);
    std::printf("  %-46s %7.1f ms, %.2f %% of the direct conversion\n",
                "look at the result (in the adapter)", look, 100 * look / d);
    std::printf(
        "adapter_bench full encode ratio %.3f (goal < 1.05), check share %.2f %% (goal <= 3 %%)\n",
        a / d, 100 * look / d);
    std::filesystem::remove_all(dir);
    return 0;
}
