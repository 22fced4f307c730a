// One large folder tree queued through one drop, against `find DIR -type f | sort -f`
// on the same tree. Usage: job_list_bench [folders] [files-per-folder]
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/program_folder.h"
#include "ui/main_window/TMainForm1.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

bool makeTree(const std::string& root, int folders, int files) {
    for (int d = 0; d < folders; ++d) {
        // two levels, so that the search descends
        const std::string dir =
            root + "/g" + std::to_string(d % 10) + "/Folder " + std::to_string(d);
        if (d < 10 && mkdir((root + "/g" + std::to_string(d)).c_str(), 0755) != 0) return false;
        if (mkdir(dir.c_str(), 0755) != 0) return false;
        for (int f = 0; f < files; ++f) {
            const std::string p = dir + "/Clip_" + std::to_string(f * 7919 % 1000) + "_" +
                                  std::to_string(f) + (f % 3 ? ".avi" : ".MPG");
            const int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0) return false;
            close(fd);
        }
    }
    return true;
}

// find ROOT -type f | sort -f > /dev/null, two processes joined by a pipe.
double baselineMs(const std::string& root) {
    int p[2];
    if (pipe(p) != 0) return -1;
    const auto t0 = Clock::now();
    posix_spawn_file_actions_t findActs, sortActs;
    posix_spawn_file_actions_init(&findActs);
    posix_spawn_file_actions_addopen(&findActs, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&findActs, p[1], 1);
    posix_spawn_file_actions_addclose(&findActs, p[0]);
    posix_spawn_file_actions_addclose(&findActs, p[1]);
    posix_spawn_file_actions_init(&sortActs);
    posix_spawn_file_actions_adddup2(&sortActs, p[0], 0);
    posix_spawn_file_actions_addopen(&sortActs, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&sortActs, p[0]);
    posix_spawn_file_actions_addclose(&sortActs, p[1]);
    std::string a0 = "find", a2 = "-type", a3 = "f", s0 = "sort", s1 = "-f";
    std::string rootArg = root;
    char* findArgv[] = {a0.data(), rootArg.data(), a2.data(), a3.data(), nullptr};
    char* sortArgv[] = {s0.data(), s1.data(), nullptr};
    pid_t findPid = 0, sortPid = 0;
    const bool ok = posix_spawnp(&findPid, "find", &findActs, nullptr, findArgv, environ) == 0 &&
                    posix_spawnp(&sortPid, "sort", &sortActs, nullptr, sortArgv, environ) == 0;
    close(p[0]);
    close(p[1]);
    int status = 0;
    if (findPid > 0) waitpid(findPid, &status, 0);
    if (sortPid > 0) waitpid(sortPid, &status, 0);
    posix_spawn_file_actions_destroy(&findActs);
    posix_spawn_file_actions_destroy(&sortActs);
    return ok ? msSince(t0) : -1;
}

struct Ours {
    double intakeMs = 0, paintMs = 0;
    int entries = 0;
};

Ours oursMs(TMainForm1& w, const std::string& root) {
    w.CButton12Click();
    QApplication::processEvents();
    Ours r;
    auto t0 = Clock::now();
    w.AddSourcePath(root);
    r.intakeMs = msSince(t0);
    t0 = Clock::now();
    w.ListBox1->scrollToBottom();
    w.repaint();
    QApplication::processEvents();
    r.paintMs = msSince(t0);
    r.entries = w.jobCount();
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int folders = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int files = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    constexpr int kRounds = 5;

    qvtest::ProgramFolder programDir;
    QTemporaryDir treeDir;
    if (!programDir.isValid() || !treeDir.isValid()) return 1;
    const std::string root = QFile::encodeName(treeDir.path()).toStdString();
    std::printf("tree: %d folders x %d files in %s\n", folders, files, root.c_str());
    if (!makeTree(root, folders, files)) {
        std::fprintf(stderr, "cannot build the tree\n");
        return 1;
    }

    TMainForm1 w(programDir.path());
    w.show();
    QApplication::processEvents();

    const struct {
        const char* label;
        QLocale locale;
    } locales[] = {{"environment locale", QLocale::system()},
                   {"en_US collation", QLocale(QLocale::English, QLocale::UnitedStates)},
                   {"ja_JP collation", QLocale(QLocale::Japanese, QLocale::Japan)}};

    baselineMs(root);  // warm the caches for both
    int status = 0;
    for (const auto& loc : locales) {
        QLocale::setDefault(loc.locale);
        oursMs(w, root);
        std::vector<double> base, intake, total;
        int entries = 0;
        for (int i = 0; i < kRounds; ++i) {
            base.push_back(baselineMs(root));
            const Ours o = oursMs(w, root);
            intake.push_back(o.intakeMs);
            total.push_back(o.intakeMs + o.paintMs);
            entries = o.entries;
        }
        const double b = median(base), t = median(total);
        std::printf(
            "%-20s entries %d | find|sort -f %.1f ms | AddSourcePath %.1f ms, with repaint "
            "%.1f ms | ratio %.2f (goal <= 3)\n",
            loc.label, entries, b, median(intake), t, t / b);
        if (entries != folders * files) status = 1;
    }
    w.CButton12Click();
    return status;
}
