// The main window's event loop during a batch of quickly failing jobs: a timer asks for a
// turn every 5 ms and the longest wait between turns is printed (goal: at most 50 ms), beside
// the time of the whole batch.
// Usage: responsive_bench [jobs] [at once]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/program_folder.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TMultiColComboBox.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int jobs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int atOnce = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    qvtest::ProgramFolder programDir;
    QTemporaryDir work, state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    // Every call fails at once, as an encoder that cannot read its input does.
    if (!programDir.writeStandIn("#!/bin/sh\nexit 1\n")) return 1;

    qv::ui::testing::enable();  // the end notice is recorded, never waited for
    TMainForm1 w(programDir.path());
    w.show();
    QCoreApplication::processEvents();
    for (int i = 0; i < jobs; ++i) {
        const QString path =
            work.filePath(QStringLiteral("clip%1.wmv").arg(i, 4, 10, QLatin1Char('0')));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write("SOURCE");
        f.close();
        w.AddSourcePath(QFile::encodeName(path).toStdString());
    }
    w.C1_02->setItemIndex(1);
    w.C1_03->setPath(work.filePath(QStringLiteral("out")));
    w.C2_01->setItemIndex(1);
    w.Jobs = atOnce;

    QElapsedTimer since;
    qint64 worst = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { worst = std::max(worst, since.restart()); });
    QElapsedTimer total;
    total.start();
    since.start();
    tick.start();
    w.CButton10Click();
    tick.stop();
    const qint64 ms = total.elapsed();
    const auto messages = qv::ui::testing::texts(qv::ui::testing::Record::Message);
    std::printf(
        "responsive_bench: %d failing jobs, %d at once, %lld ms, worst event-loop delay %lld ms "
        "(goal <= 50), %lld ms per job%s\n",
        jobs, atOnce, static_cast<long long>(ms), static_cast<long long>(worst),
        static_cast<long long>(ms / jobs), messages.size() == 1 ? "" : " (no end notice!)");
    return messages.size() == 1 ? 0 : 1;
}
