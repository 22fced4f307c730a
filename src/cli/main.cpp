// quorvane-convert: the window's batch run without a window, for scripts and schedulers.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file_io.h"
#include "base/file_places.h"
#include "base/path.h"
#include "cli/plan_line.h"
#include "cli/report.h"
#include "run/batch_engine.h"
#include "run/batch_plan.h"
#include "run/batch_rules.h"
#include "run/encoder_process.h"
#include "run/job_intake.h"
#include "run/result_lock.h"
#include "settings/preset_file.h"
#include "settings/profile_file.h"
#include "settings/settings_file.h"

namespace {

constexpr int kConverted = 0, kFailed = 1, kUsage = 2;

const char* const kHelp =
    "使い方: quorvane-convert [オプション] ファイルまたはフォルダ...\n"
    "Usage:  quorvane-convert [options] FILE-OR-FOLDER...\n"
    "\n"
    "ウィンドウと同じ設定ファイル (Quorvane_R.ini) の設定で、ウィンドウの変換と同じ\n"
    "コマンドライン・変換結果の名前・日付・安全の決まりで変換します。フォルダは\n"
    "下のフォルダまで探し、ファイルリストと同じ順に並べます。\n"
    "Converts with the settings of the window's settings file, with the same command lines,\n"
    "result names, dates and safety rules as the window. Folders are searched to the bottom\n"
    "and sorted as the job list sorts them.\n"
    "\n"
    "  --preset NAME     profile.txt のおまかせ設定 NAME を設定ファイルの上に使う\n"
    "                    use the preset NAME of profile.txt over the settings file\n"
    "  --dest DIR        変換結果を DIR に保存する (フォルダ指定)\n"
    "                    write the results into DIR (folder mode)\n"
    "  --preview         30 秒だけの試し変換\n"
    "                    the 30-second trial conversion\n"
    "  --jobs N          同時に N 件変換する (1-16, 0 は自動; 既定は設定ファイルの JOBS)\n"
    "                    convert N files at once (1-16, 0 automatic; default: JOBS)\n"
    "  --json            標準出力にイベントごとに JSON を 1 行ずつ書く\n"
    "                    one JSON object per event on standard output\n"
    "  --plan            変換せず、1 件 1 行の JSON (jobs.jsonl) を標準出力に書く\n"
    "                    write one JSON line per job to standard output, convert nothing\n"
    "  --run-plan FILE --index K\n"
    "                    FILE の K 行目 (0 から) を変換する。変換結果の横の .NAME.lock で\n"
    "                    他のプロセスやマシンと取り合わない\n"
    "                    convert line K (from 0) of FILE, claiming the result with the lock\n"
    "                    file .NAME.lock beside it against other processes and machines\n"
    "  -h, --help        この説明 / this help\n"
    "\n"
    "終了コード / exit status: 0 すべて変換 / all converted, 1 失敗あり / some failed,\n"
    "2 使い方の誤り / usage error, 130・143 SIGINT・SIGTERM で中止 (前の変換結果は元に\n"
    "戻します) / stopped by SIGINT or SIGTERM (earlier results are put back).\n";

volatile std::sig_atomic_t gSignal = 0;
int gSignalPipe[2] = {-1, -1};

extern "C" void onSignal(int signo) {
    gSignal = signo;
    const char byte = 1;
    if (gSignalPipe[1] >= 0) {
        const int saved = errno;
        const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
        static_cast<void>(n);
        errno = saved;
    }
}

void catchSignals() {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) gSignalPipe[0] = gSignalPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signo, &action, nullptr);
    // A closed output must not end the tool in the middle of a job: writes fail instead.
    ::signal(SIGPIPE, SIG_IGN);
}

int usage(const std::string& japanese, const std::string& english) {
    std::fprintf(stderr, "quorvane-convert: %s\nquorvane-convert: %s\n%s", japanese.c_str(),
                 english.c_str(), "詳しくは --help / see --help\n");
    return kUsage;
}

void say(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

struct Options {
    std::vector<std::string> paths;
    std::optional<std::string> preset, dest, runPlan;
    std::optional<int> jobs, index;
    bool preview = false, json = false, plan = false, help = false;
};

std::optional<int> wholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

// Nullopt after a usage message.
std::optional<Options> parseOptions(int argc, char** argv, int& status) {
    Options o;
    bool onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (onlyPaths || a.empty() || a[0] != '-' || a == "-") {
            o.paths.push_back(a);
            continue;
        }
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                status = usage(a + " には値が要ります", a + " needs a value");
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--") {
            onlyPaths = true;
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--preview") {
            o.preview = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--plan") {
            o.plan = true;
        } else if (a == "--preset") {
            if (!value(v)) return std::nullopt;
            o.preset = v;
        } else if (a == "--dest") {
            if (!value(v)) return std::nullopt;
            if (v.empty()) {
                status = usage("--dest のフォルダが空です", "--dest names no folder");
                return std::nullopt;
            }
            o.dest = v;
        } else if (a == "--run-plan") {
            if (!value(v)) return std::nullopt;
            o.runPlan = v;
        } else if (a == "--jobs" || a == "--index") {
            if (!value(v)) return std::nullopt;
            const std::optional<int> n = wholeNumber(v);
            if (a == "--jobs") {
                if (!n || *n > qv::kMaxParallelJobs) {
                    status = usage("--jobs は 0 から 16 の数です: " + v,
                                   "--jobs takes a number from 0 to 16: " + v);
                    return std::nullopt;
                }
                o.jobs = n;
            } else {
                if (!n) {
                    status = usage("--index は 0 以上の数です: " + v,
                                   "--index takes a number from 0 up: " + v);
                    return std::nullopt;
                }
                o.index = n;
            }
        } else {
            status = usage("知らないオプションです: " + a, "unknown option: " + a);
            return std::nullopt;
        }
    }
    if (o.help) return o;
    if (o.runPlan || o.index) {
        if (!o.runPlan || !o.index) {
            status = usage("--run-plan と --index は一緒に指定します",
                           "--run-plan and --index go together");
            return std::nullopt;
        }
        if (!o.paths.empty() || o.plan || o.preset || o.dest || o.preview || o.jobs) {
            status = usage("--run-plan にはファイルも設定のオプションも付けられません",
                           "--run-plan takes no paths and no settings options");
            return std::nullopt;
        }
        return o;
    }
    if (o.paths.empty()) {
        status = usage("変換するファイルかフォルダを指定してください",
                       "name the files or folders to convert");
        return std::nullopt;
    }
    return o;
}

std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? path : qv::joinPath(cwd.string(), path);
}

std::string programFolder() {
    return qv::stripTrailingSeparators(qv::folderOf(qv::executablePath()));
}

// Runs the engine to its end, stopping it at SIGINT, SIGTERM or SIGHUP.
void runEngine(qv::BatchEngine& engine) {
    while (!engine.ended()) {
        if (gSignal != 0 && !engine.stopRequested()) engine.cancelAll();
        if (engine.hasWorkNow()) {
            engine.step(0);
            continue;
        }
        pollfd fds[2] = {{engine.waitDescriptor(), POLLIN, 0}, {gSignalPipe[0], POLLIN, 0}};
        // An encoder without a process descriptor is looked at as the engine itself would.
        const int timeout = engine.needsPolling() || engine.waitDescriptor() < 0 ? 20 : -1;
        if (::poll(fds, 2, gSignal != 0 && !engine.stopRequested() ? 0 : timeout) > 0 &&
            (fds[1].revents & POLLIN)) {
            char drain[16];
            while (::read(gSignalPipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (gSignal != 0 && !engine.stopRequested()) engine.cancelAll();
        engine.step(0);
    }
}

// The exit status after a batch, with the notices of an engine that ended early.
int finish(const qv::cli::Report& report, const std::string& startError) {
    if (report.end() == qv::BatchSummary::End::EncoderCannotStart)
        say("変換に使う ffmpeg を起動できません。 " + startError);
    if (report.end() == qv::BatchSummary::End::Aborted)
        say("原因が特定できないエラーが生じました。処理を中止します。");
    if (gSignal != 0) return 128 + static_cast<int>(gSignal);
    return report.failed() == 0 && report.cancelled() == 0 &&
                   report.end() == qv::BatchSummary::End::Finished
               ? kConverted
               : kFailed;
}

struct StartError : qv::BatchObserver {
    std::string text;
    void batchEnded(const qv::BatchSummary& summary) override { text = summary.startError; }
};

int runPlanLine(const Options& o) {
    std::ifstream in(*o.runPlan, std::ios::binary);
    if (!in)
        return usage("計画ファイルを開けません: " + *o.runPlan,
                     "cannot open the plan file: " + *o.runPlan);
    std::string text;
    int at = 0;
    bool found = false;
    while (std::getline(in, text)) {
        if (at++ == *o.index) {
            found = true;
            break;
        }
    }
    if (!found)
        return usage("計画ファイルに " + std::to_string(*o.index) + " 行目がありません",
                     "the plan file has no line " + std::to_string(*o.index));
    std::string why;
    std::optional<qv::cli::PlanLine> line = qv::cli::parsePlanLine(text, &why);
    if (!line)
        return usage(
            "計画ファイルの " + std::to_string(*o.index) + " 行目が読めません (" + why + ")",
            "line " + std::to_string(*o.index) + " of the plan file is not a job");

    const bool terminal = ::isatty(2) == 1;
    qv::cli::Report report(o.json, terminal, 1, *o.index);
    // A line that cannot be claimed ends as a failed job, told as the engine tells one.
    const auto refuse = [&report](const std::string& reason) {
        report.jobEnded(0, qv::JobEnd::Failed, reason);
        qv::BatchSummary summary;
        summary.failures.emplace_back(0, reason);
        report.batchEnded(summary);
        return kFailed;
    };
    const std::string encoder = qv::resolveEncoder(programFolder());
    if (encoder.empty()) {
        say("変換に使う ffmpeg が見つかりません。");
        return kFailed;
    }
    qv::ResultLock lock;
    // A line the plan refused fails in the engine with its reason; it claims nothing.
    if (line->job.refused.empty()) {
        if (!line->makeFolder.empty()) {
            std::error_code ec;  // a folder that cannot be made shows up as the lock's failure
            std::filesystem::create_directories(std::filesystem::path(line->makeFolder), ec);
        }
        switch (lock.take(line->job.dest)) {
            case qv::ResultLock::Outcome::Taken:
                break;
            case qv::ResultLock::Outcome::TakenOver:
                report.say("[" + std::to_string(*o.index + 1) +
                           "] 終了したプロセスのロックを引き継ぎました: " + lock.path());
                break;
            case qv::ResultLock::Outcome::HeldHere:
                return refuse("変換結果はこのマシンの別のプロセス (" + lock.why() +
                              ") が変換中です: " + lock.path());
            case qv::ResultLock::Outcome::HeldElsewhere:
                return refuse("変換結果は別のマシン (" + lock.why() +
                              ") が変換中です。そのマシンで変換が動いていないことを確かめてから " +
                              lock.path() + " を削除してください");
            case qv::ResultLock::Outcome::Stuck:
                return refuse("変換結果のロックを引き継ぐ途中で終わったプロセス (" + lock.why() +
                              ") があります。ほかに変換が動いていないことを確かめてから " +
                              lock.path() + " を削除してください");
            case qv::ResultLock::Outcome::Error:
                return refuse("変換結果のロックファイルを作れません (" + lock.why() +
                              "): " + lock.path());
        }
    }
    qv::BatchOptions options;
    options.encoder = encoder;
    options.parallel = 1;
    options.stateFolder = qv::userStateFolder();
    StartError start;
    qv::BatchObservers observers;
    observers.add(report);
    observers.add(start);
    qv::BatchEngine engine(std::move(options), std::vector<qv::PlannedJob>{line->job}, observers);
    runEngine(engine);
    return finish(report, start.text);
}

}  // namespace

int main(int argc, char** argv) {
    int status = kUsage;
    const std::optional<Options> parsed = parseOptions(argc, argv, status);
    if (!parsed) return status;
    const Options& o = *parsed;
    if (o.help) {
        std::fputs(kHelp, stdout);
        return kConverted;
    }
    catchSignals();
    if (o.runPlan) return runPlanLine(o);

    // The settings as the window reads them at its start, then the preset and the folder.
    const std::string folder = programFolder();
    const std::string iniPath = qv::settingsFilePath(folder);
    const qv::ProfileFile ini = qv::ProfileFile::load(iniPath);
    if (ini.status() == qv::FileStatus::Error)
        return usage("設定ファイルが読めません: " + iniPath,
                     "cannot read the settings file: " + iniPath);
    qv::PresetFile presets;
    const std::string presetPath = qv::presetFilePath(folder);
    const bool presetsRead = qv::readPresetFile(presetPath, presets).ok();
    qv::ConversionSettings settings =
        qv::settingsFromFile(ini, qv::startSettings(qv::documentsFolder()), folder,
                             1 + static_cast<int>(presets.lines.size()));
    if (o.preset) {
        if (!presetsRead)
            return usage("おまかせ設定のファイルが読めません: " + presetPath,
                         "cannot read the preset file: " + presetPath);
        const int found = qv::findPreset(presets.lines, *o.preset);
        if (found < 0)
            return usage("おまかせ設定 " + *o.preset + " は " + presetPath + " にありません",
                         "no preset named " + *o.preset + " in " + presetPath);
        qv::applyPreset(settings,
                        qv::presetRowText(presets.lines[static_cast<std::size_t>(found)]));
        settings.C2_00 = found + 1;
    }
    if (o.dest) {
        settings.C1_02 = 1;
        settings.C1_03 =
            qv::stripTrailingSeparators((*o.dest)[0] == '~' ? *o.dest : absolute(*o.dest));
    }
    if (settings.C1_02 != 0 && settings.C1_02 != 1)
        return usage("設定ファイルに保存先 (C1_02) がありません。--dest を指定してください",
                     "the settings file names no destination (C1_02): give --dest");
    if (settings.C1_02 == 1 && settings.C1_03.empty())
        return usage("保存先のフォルダがありません", "no destination folder");

    // The jobs, found and sorted as the job list finds and sorts them.
    qv::JobIntake intake;
    for (const std::string& path : o.paths) qv::takeJobs(absolute(path), intake);
    for (const std::string& line : qv::notQueuedLines(intake.left))
        say("変換対象に加えられませんでした: " + line);
    std::vector<std::string> jobs = std::move(intake.files);
    qv::sortJobs(jobs, qv::JobOrder());
    if (jobs.empty()) return usage("変換するファイルがありません", "no files to convert");

    if (o.plan) {
        const qv::BatchPlan plan = qv::planBatch(settings, jobs, o.preview);
        if (plan.noDestination) return usage("保存先がありません", "no destination");
        for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
            qv::cli::PlanLine line;
            line.index = static_cast<int>(i);
            line.job = plan.jobs[i];
            if (settings.C1_02 == 1) line.makeFolder = qv::destinationFolder(settings);
            std::fputs((qv::cli::planLineText(line) + "\n").c_str(), stdout);
        }
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? kConverted : kFailed;
    }

    const std::string encoder = qv::resolveEncoder(folder);
    if (encoder.empty()) {
        say("変換に使う ffmpeg が見つかりません。");
        return kFailed;
    }
    const int setting = o.jobs ? *o.jobs : qv::validJobsSetting(ini.readInt("SET4", "JOBS", 1));
    qv::BatchOptions options;
    options.settings = settings;
    options.encoder = encoder;
    options.preview = o.preview;
    options.parallel =
        qv::parallelJobsFor(setting, std::thread::hardware_concurrency(), settings.CheckBox2);
    options.stateFolder = qv::userStateFolder();
    const int count = static_cast<int>(jobs.size());
    qv::cli::Report report(o.json, ::isatty(2) == 1, count);
    StartError start;
    qv::BatchObservers observers;
    observers.add(report);
    observers.add(start);
    qv::BatchEngine engine(std::move(options), std::move(jobs), observers);
    runEngine(engine);
    return finish(report, start.text);
}
