// Go! over 20 one-second clips through the program folder's encoder (its thumbnail
// calls included), against a shell loop of the same conversion calls alone through that
// same encoder. Prints both times and their ratio, with the processor time behind them:
// the thumbnail, made beside each conversion, and the run's own work should cost next to
// nothing. Then the same with two at once and single-threaded encoders, against the
// serial loop. (What the adapter itself
// costs against the installed encoder is adapter_bench's business.)
// Usage: batch_bench [clips] [rounds]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/command_line.h"
#include "run/encoder_process.h"
#include "support/mp4_qvga_rows.h"
#include "support/program_folder.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TMultiColComboBox.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Processor time used so far by this process and by its children that have ended, in ms:
// where a difference in wall time comes from on a machine that is busy with other work.
struct CpuTime {
    double self = 0, children = 0;
    static CpuTime now() {
        auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
        rusage own{}, kids{};
        getrusage(RUSAGE_SELF, &own);
        getrusage(RUSAGE_CHILDREN, &kids);
        return {ms(own.ru_utime) + ms(own.ru_stime), ms(kids.ru_utime) + ms(kids.ru_stime)};
    }
    CpuTime since(const CpuTime& before) const {
        return {self - before.self, children - before.children};
    }
};

int runAndWait(const std::string& exe, const std::vector<std::string>& args) {
    qv::EncoderProcess p;
    if (!p.start(exe, args)) return -1;
    p.waitFor(-1);
    return p.exitCode();
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string commandLine(const std::string& exe, const std::vector<std::string>& args) {
    std::string line = shellQuote(exe);
    for (const auto& a : args) line += " " + shellQuote(a);
    return line + " </dev/null >/dev/null 2>&1";
}

// False when the catalogues lack a row of the MP4 job.
bool setUp(TMainForm1& w, const QString& outDir) {
    const QString missing = qvtest::chooseMp4QvgaRows(w);
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "no catalogue row %s\n", qPrintable(missing));
        return false;
    }
    w.C3_05->setItemIndex(0);
    w.C3_06->setItemIndex(0);
    w.C1_02->setItemIndex(1);
    w.C1_03->setPath(outDir);
    for (QCheckBox* b : {w.CheckBox1, w.CheckBox3, w.CheckBox4, w.CheckBox5}) b->setChecked(false);
    w.CheckBox2->setChecked(true);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int clips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;

    QString shipped = qEnvironmentVariable("QV_PROGRAM_DIR");
    if (shipped.isEmpty())
        shipped = QCoreApplication::applicationDirPath() + QStringLiteral("/../program");
    const QString adapter = QDir(shipped).absoluteFilePath(QStringLiteral("ffmpeg"));
    if (!QFileInfo(adapter).isExecutable()) {
        std::fprintf(stderr, "no encoder adapter at %s (set QV_PROGRAM_DIR)\n",
                     qPrintable(adapter));
        return 1;
    }

    qvtest::ProgramFolder programDir;
    QTemporaryDir work;
    QTemporaryDir state;  // the run's log goes here, not into the home folder
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    QTemporaryDir cache;  // and what the encoder keeps about the sources
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    programDir.linkEncoder(adapter);

    // One clip, copied: the encoder's work is the same for each.
    const std::string first = work.filePath(QStringLiteral("clip00.avi")).toStdString();
    if (!qvtest::makeClip(QString::fromStdString(first),
                          {QStringLiteral("testsrc=size=160x120:rate=25:duration=1"),
                           QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1")},
                          {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                           QStringLiteral("mp2")})) {
        std::fprintf(stderr, "cannot make the test clip\n");
        return 1;
    }
    std::vector<std::string> sources{first};
    for (int i = 1; i < clips; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "clip%02d.avi", i);
        sources.push_back(work.filePath(QString::fromLatin1(name)).toStdString());
        QFile::copy(QString::fromStdString(first), QString::fromStdString(sources.back()));
    }
    const QString batchOut = work.filePath(QStringLiteral("batch"));
    const QString directOut = work.filePath(QStringLiteral("direct"));
    QDir().mkpath(directOut);

    qv::ui::testing::enable();  // no box may wait
    TMainForm1 w(programDir.path());
    w.show();
    QCoreApplication::processEvents();
    for (const auto& s : sources) w.AddSourcePath(s);
    if (!setUp(w, batchOut)) return 1;

    // The same conversion commands as the run emits, one line each in one shell.
    const std::string directFolder = QFile::encodeName(directOut).toStdString();
    const std::string script = work.filePath(QStringLiteral("direct.sh")).toStdString();
    const auto writeScript = [&](const qv::ConversionSettings& settings) {
        std::string text;
        for (const auto& s : sources) {
            const std::string dest = directFolder + "/" +
                                     s.substr(s.rfind('/') + 1, s.rfind('.') - s.rfind('/') - 1) +
                                     ".mp4";
            text += commandLine(QFile::encodeName(adapter).toStdString(),
                                qv::buildConversionCommand(settings, s, dest, 1, false).args) +
                    "\n";
        }
        QFile f(QString::fromStdString(script));
        f.open(QIODevice::WriteOnly);
        f.write(text.c_str());
    };
    writeScript(w.settings());

    double bestBatch = 1e18, bestDirect = 1e18;
    // Round 0 starts with nothing kept about the sources (their thumbnails among it), as a
    // first run over new files does; the later rounds are the same files again.
    for (int round = 0; round <= rounds; ++round) {
        auto t0 = Clock::now();
        CpuTime c0 = CpuTime::now();
        w.CButton10Click();
        const double batch = msSince(t0);
        const CpuTime batchCpu = CpuTime::now().since(c0);
        t0 = Clock::now();
        c0 = CpuTime::now();
        const int rc = runAndWait("/bin/sh", {script});
        const double direct = msSince(t0);
        const CpuTime directCpu = CpuTime::now().since(c0);
        if (rc != 0) std::fprintf(stderr, "direct loop ended with %d\n", rc);
        std::printf(
            "round %d%s: batch run %.0f ms (program's processor time %.0f ms, encoders' %.0f ms), "
            "direct loop %.0f ms (encoders' %.0f ms), ratio %.3f\n",
            round, round == 0 ? " (nothing kept yet)" : "", batch, batchCpu.self, batchCpu.children,
            direct, directCpu.children, batch / direct);
        if (round == 0) continue;
        bestBatch = std::min(bestBatch, batch);
        bestDirect = std::min(bestDirect, direct);
    }
    const QStringList made = QDir(batchOut).entryList({QStringLiteral("*.mp4")}, QDir::Files);
    if (made.size() != clips ||
        !qv::ui::testing::texts(qv::ui::testing::Record::Message).isEmpty()) {
        std::fprintf(stderr, "batch run made %lld of %d results\n",
                     static_cast<long long>(made.size()), clips);
        for (const QString& m : qv::ui::testing::texts(qv::ui::testing::Record::Message))
            std::fprintf(stderr, "%s\n", qPrintable(m));
        return 1;
    }
    std::printf(
        "batch_bench: %d clips, batch run %.0f ms, direct loop %.0f ms, ratio %.3f (goal <= "
        "1.03)\n",
        clips, bestBatch, bestDirect, bestBatch / bestDirect);

    // Two at once, each encoder on one thread, against the serial loop of the same calls.
    w.CheckBox2->setChecked(false);
    w.Jobs = 2;
    writeScript(w.settings());
    double bestTwo = 1e18, bestSerial = 1e18;
    for (int round = 1; round <= rounds; ++round) {
        auto t0 = Clock::now();
        w.CButton10Click();
        const double two = msSince(t0);
        t0 = Clock::now();
        const int rc = runAndWait("/bin/sh", {script});
        const double serial = msSince(t0);
        if (rc != 0) std::fprintf(stderr, "serial loop ended with %d\n", rc);
        std::printf("round %d: two at once %.0f ms, serial loop %.0f ms, ratio %.3f\n", round, two,
                    serial, two / serial);
        bestTwo = std::min(bestTwo, two);
        bestSerial = std::min(bestSerial, serial);
    }
    std::printf(
        "batch_bench: %d clips two at once %.0f ms, serial loop %.0f ms, ratio %.3f (goal <= "
        "0.65)\n",
        clips, bestTwo, bestSerial, bestTwo / bestSerial);
    return qv::ui::testing::texts(qv::ui::testing::Record::Message).isEmpty() ? 0 : 1;
}
