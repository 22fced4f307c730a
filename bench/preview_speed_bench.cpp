// The 30-second preview of a 720p source with each of today's video codecs against the
// same preview with MPEG-4, through the program folder's encoder, as the batch run starts
// it. Prints each median wall time and its ratio to MPEG-4's; the goal is at most 3.
//   preview_speed_bench [rounds]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "run/command_line.h"
#include "settings/conversion_settings.h"
#include "timing.h"

namespace {

double runSeconds(const std::string& exe, const std::vector<std::string>& args) {
    return qvbench::runTimed(exe, args) / 1000;
}

// Rows by index, as a settings file names them.
constexpr int kMp4 = 4, kMkv = 13, kWebm = 14;
constexpr int kMpeg4 = 17, kLibx265 = 34, kLibvpxVp9 = 35, kLibsvtav1 = 36;
constexpr int kVbr11 = 24;
constexpr int kLibfaac = 1, kLibopus = 52;

qv::ConversionSettings preview(int container, int videoCodec, int audioCodec) {
    qv::ConversionSettings s;
    s.C1_02 = 0;
    s.C2_00 = 0;
    s.C2_01 = container;
    s.C2_02 = s.C2_03 = s.C2_06 = 0;
    s.C2_04 = videoCodec;
    s.C2_05 = kVbr11;
    s.C3_01 = audioCodec;
    s.C3_02 = s.C3_03 = s.C3_04 = s.C3_05 = s.C3_06 = 0;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const char* programDir = std::getenv("QV_PROGRAM_DIR");
    const std::string adapter =
        programDir ? std::string(programDir) + "/ffmpeg"
                   : (std::filesystem::path(argv[0]).parent_path() / "../program/ffmpeg").string();
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    char tmpl[] = "/tmp/qv_preview_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    const std::string source = dir + "/source.avi";
    // Moving detail, so that no encoder gets an easy picture.
    runSeconds(
        "/usr/bin/ffmpeg",
        {"-hide_banner", "-loglevel", "error",     "-y",
         "-f",           "lavfi",     "-i",        "testsrc2=size=1280x720:rate=30:duration=40",
         "-f",           "lavfi",     "-i",        "sine=sample_rate=48000:duration=40",
         "-c:v",         "mpeg4",     "-q:v",      "3",
         "-c:a",         "mp2",       "-shortest", source});

    struct Case {
        const char* name;
        qv::ConversionSettings settings;
        const char* ext;
    } cases[] = {
        {"MPEG-4 + AAC in MP4 (baseline)", preview(kMp4, kMpeg4, kLibfaac), ".mp4"},
        {"H.265 + Opus in Matroska", preview(kMkv, kLibx265, kLibopus), ".mkv"},
        {"VP9 + Opus in WebM", preview(kWebm, kLibvpxVp9, kLibopus), ".webm"},
        {"AV1 + Opus in Matroska", preview(kMkv, kLibsvtav1, kLibopus), ".mkv"},
    };
    constexpr std::size_t n = std::size(cases);
    std::vector<std::vector<double>> times(n);
    // Rounds interleave the codecs, so that a busy spell of the machine falls on all of them.
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::string dest = dir + "/preview" + std::to_string(i) + cases[i].ext;
            const auto command =
                qv::buildConversionCommand(cases[i].settings, source, dest, 1, true);
            times[i].push_back(runSeconds(adapter, command.args));
        }
    }

    std::printf("30-second preview of a 1280x720 source, %d rounds, median wall time\n", rounds);
    const double base = qvbench::median(times[0]);
    double worst = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = qvbench::median(times[i]), ratio = t / base;
        if (i > 0) worst = std::max(worst, ratio);
        std::printf("  %-32s %7.2f s  ratio %.2f\n", cases[i].name, t, ratio);
    }
    std::printf("preview_speed_bench ratio %.2f (goal <= 3)\n", worst);
    std::filesystem::remove_all(dir);
    return 0;
}
