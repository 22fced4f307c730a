// quorvane-convert over 20 one-second clips, against the loop of the same conversion calls
// (the argument lists of its own --plan) through the same program-folder encoder, in turns
// within this one run. Prints both medians and their ratio: the tool's own work (search,
// sort, checks, setting aside, dating, the report) should cost next to nothing. Goal: <= 1.03.
// Usage: convert_tool_bench [clips] [rounds]
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/catalogues.h"
#include "support/program_folder.h"
#include "support/setting_line.h"
#include "timing.h"

namespace {

using Clock = std::chrono::steady_clock;

int runTool(const QString& tool, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(tool, args);
    p.waitForFinished(-1);
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int clips = argc > 1 ? std::atoi(argv[1]) : 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    qvtest::ProgramFolder program;
    QTemporaryDir work;
    const QString built = qEnvironmentVariable("QV_PROGRAM_DIR");
    const QString tool = program.filePath(QStringLiteral("quorvane-convert"));
    if (!program.isValid() || !work.isValid() ||
        !QFile::copy(built + QStringLiteral("/quorvane-convert"), tool) ||
        !QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
        !program.linkEncoder(built + QStringLiteral("/ffmpeg"))) {
        std::fprintf(stderr, "cannot lay out the program folder from %s\n", qPrintable(built));
        return 1;
    }
    const QString in = work.filePath(QStringLiteral("in")),
                  out = work.filePath(QStringLiteral("out"));
    QDir().mkpath(in);
    for (int i = 0; i < clips; ++i) {
        QString said;
        if (!qvtest::makeClip(
                QStringLiteral("%1/clip%2.avi").arg(in).arg(i, 2, 10, QLatin1Char('0')),
                {QStringLiteral("testsrc=size=160x120:rate=25:duration=1"),
                 QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1")},
                {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                 QStringLiteral("mp2")},
                &said)) {
            std::fprintf(stderr, "%s\n", qPrintable(said));
            return 1;
        }
    }
    using C = qv::CatalogueId;
    qvtest::writeFile(program.filePath(QStringLiteral("Quorvane_R.ini")),
                      "[SET1]\r\nC1_03=" + QFile::encodeName(out) + "\r\nC1_02=1\r\n[SET2]\r\n" +
                          qvtest::settingLine("C2_01", C::C2_01, "MP4") +
                          qvtest::settingLine("C2_02", C::C2_02, "320x240") +
                          qvtest::settingLine("C2_04", C::C2_04, "MPEG4") +
                          qvtest::settingLine("C2_05", C::C2_05, "768kbps") + "[SET3]\r\n" +
                          qvtest::settingLine("C3_01", C::C3_01, "LIBFAAC") +
                          qvtest::settingLine("C3_02", C::C3_02, "128kbps") +
                          "[SET4]\r\nJOBS=1\r\n");

    QByteArray planText;
    if (runTool(tool, {QStringLiteral("--plan"), in}, &planText) != 0) {
        std::fprintf(stderr, "--plan failed\n");
        return 1;
    }
    std::vector<std::vector<std::string>> calls;
    for (const QByteArray& line : planText.split('\n')) {
        if (line.isEmpty()) continue;
        for (const QJsonValue& pass : QJsonDocument::fromJson(line).object()[u"passes"].toArray()) {
            std::vector<std::string> args;
            for (const QJsonValue& a : pass.toArray()) args.push_back(a.toString().toStdString());
            calls.push_back(args);
        }
    }
    if (static_cast<int>(calls.size()) != clips) {
        std::fprintf(stderr, "the plan holds %zu calls for %d clips\n", calls.size(), clips);
        return 1;
    }
    const std::string encoder = program.filePath(QStringLiteral("ffmpeg")).toStdString();
    // Each round starts from no results, so neither side sets an earlier one aside.
    const auto clear = [&] {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
    };

    std::vector<double> loop, viaTool;
    for (int r = 0; r < rounds; ++r) {
        clear();
        double total = 0;
        for (const auto& args : calls) total += qvbench::runTimed(encoder, args);
        loop.push_back(total);
        clear();
        const auto t0 = Clock::now();
        if (runTool(tool, {in}) != 0) {
            std::fprintf(stderr, "quorvane-convert failed\n");
            return 1;
        }
        viaTool.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const double base = qvbench::median(loop), measured = qvbench::median(viaTool);
    std::printf("%d clips, %d rounds: loop of the calls %.0f ms, quorvane-convert %.0f ms\n", clips,
                rounds, base, measured);
    std::printf("ratio %.3f (goal <= 1.03)\n", measured / base);
    return 0;
}
