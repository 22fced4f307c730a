// Start-up cost of the program folder's encoder: the same command through the adapter
// and straight into the installed encoder (given what the adapter would hand it), on a
// one-second clip. Prints the ratio of the medians; the goal is below 1.05.
//
// A stream copy needs to know what the source holds. In a batch run the thumbnail call
// probes each source first and the conversion calls reuse those notes, so the measured
// rounds run with the notes in place; one more line shows, for information, the cost of
// a copy whose source nobody has probed yet (a fresh file every round).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "probe.h"
#include "rules.h"
#include "timing.h"
#include "translate.h"

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
        std::vector<std::string> direct = {"-hide_banner", "-nostdin", "-nostats", "-loglevel",
                                           "error"};
        const qv::adapter::Call call = qv::adapter::parseCall(c.args);
        qv::adapter::Source source;
        if (qv::adapter::needsSource(call))
            source = qv::adapter::probeSource(call.input, {}, nullptr);
        const auto plan = qv::adapter::planCall(call, source, {});
        for (const auto& a : qv::adapter::applyPlan(qv::adapter::translateArguments(c.args), plan))
            direct.push_back(a);
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
    std::printf("adapter_bench ratio %.3f (goal < 1.05)\n", worst);
    std::filesystem::remove_all(dir);
    return 0;
}
