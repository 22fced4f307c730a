// The installed program: laid into a temporary DESTDIR, its program folder made
// read-only, started through the installed command with a clip to convert.
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include "support/program_folder.h"

namespace {

const QString kPrefix = QStringLiteral("/usr/local");
const QString kAppId = QStringLiteral("example.quorvane.Request");

// Every entry under folder with its kind, size, mode and time, one line each.
QStringList snapshot(const QString& folder) {
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        ::lstat(QFile::encodeName(path).constData(), &st);
        lines << QStringLiteral("%1 %2 %3 %4.%5")
                     .arg(QDir(folder).relativeFilePath(path))
                     .arg(st.st_size)
                     .arg(st.st_mode, 0, 8)
                     .arg(st.st_mtim.tv_sec)
                     .arg(st.st_mtim.tv_nsec);
    }
    lines.sort();
    return lines;
}

// Files and links (not folders) under folder, relative to it.
QStringList filesUnder(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

// chmod -R: off takes every write permission away, else the owner gets it back.
void setWritable(const QString& folder, bool writable) {
    QStringList paths = {folder};
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) paths << it.next();
    for (const QString& p : paths) {
        const QByteArray name = QFile::encodeName(p);
        struct stat st {};
        if (::lstat(name.constData(), &st) != 0 || S_ISLNK(st.st_mode)) continue;
        ::chmod(name.constData(), writable ? (st.st_mode | S_IWUSR) : (st.st_mode & ~mode_t(0222)));
    }
}

struct Outcome {
    int exitCode = -1;
    QString output;
};

Outcome runWith(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                int timeoutMs) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    Outcome o;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        o.output =
            QString::fromLocal8Bit(p.readAll()) + QStringLiteral("\n(stopped: no end in time)");
        return o;
    }
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.output = QString::fromLocal8Bit(p.readAll());
    return o;
}

}  // namespace

class InstallE2ETest : public QObject {
    Q_OBJECT
    QTemporaryDir root_;
    QString dest() const { return root_.filePath(QStringLiteral("dest")); }
    QString prefix() const { return dest() + kPrefix; }
    QString programDir() const { return prefix() + QStringLiteral("/lib/quorvane"); }
    QString folder(const QString& name) const {
        const QString path = root_.filePath(name);
        QDir().mkpath(path);
        return path;
    }

  private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), dest());
        const Outcome o = runWith(QStringLiteral(QV_CMAKE_COMMAND),
                                  {QStringLiteral("--install"), QStringLiteral(QV_BINARY_DIR),
                                   QStringLiteral("--prefix"), kPrefix},
                                  env, 120000);
        QVERIFY2(o.exitCode == 0, qPrintable(o.output));
        QVERIFY2(QFileInfo(programDir() + QStringLiteral("/Quorvane_R")).isExecutable(),
                 qPrintable(o.output));
    }

    void installedCommandConvertsAndWritesOnlyForTheUser() {
        const QString work = folder(QStringLiteral("work"));
        const QString clip = work + QStringLiteral("/clip.mkv");
        QString made;
        QVERIFY2(
            qvtest::makeClip(clip,
                             {QStringLiteral("testsrc=size=160x120:rate=25:duration=7"),
                              QStringLiteral("sine=frequency=440:sample_rate=44100:duration=7")},
                             {QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                              QStringLiteral("-c:a"), QStringLiteral("mp2")},
                             &made),
            qPrintable(made));

        setWritable(programDir(), false);
        const QStringList before = snapshot(programDir());
        // The user's settings, read from the configuration folder: AVI, every other
        // choice automatic, the result beside its source. No window position yet.
        const QString config = root_.filePath(QStringLiteral("config"));
        const QString own = config + QStringLiteral("/quorvane");
        QVERIFY(qvtest::writeFile(
            own + QStringLiteral("/Quorvane_R.ini"),
            "[SET1]\r\nC1_02=0\r\n[SET2]\r\nC2_00=0\r\nC2_01=1\r\nC2_02=0\r\nC2_03=0\r\n"
            "C2_04=0\r\nC2_05=0\r\nC2_06=0\r\n[SET3]\r\nC3_01=0\r\nC3_02=0\r\nC3_03=0\r\n"
            "C3_04=0\r\nC3_05=0\r\nC3_06=0\r\n"));
        const QString runtime = folder(QStringLiteral("runtime"));
        QVERIFY(
            QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString home = folder(QStringLiteral("home"));
        const QString state = folder(QStringLiteral("state"));
        const QString cache = folder(QStringLiteral("cache"));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_STATE_HOME"), state);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QV_DRIVER));
        // A sanitizer build's runtime would refuse the driver loaded before it.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
        const Outcome o = runWith(prefix() + QStringLiteral("/bin/quorvane"), {clip}, env, 180000);
        setWritable(programDir(), true);
        QVERIFY2(o.exitCode == 0, qPrintable(o.output));
        QVERIFY2(o.output.contains(QStringLiteral("driver: run over")), qPrintable(o.output));
        QVERIFY2(!o.output.contains(QStringLiteral("driver: message box")), qPrintable(o.output));

        // The result, beside its source.
        QStringList results = QDir(work).entryList(QDir::Files);
        results.removeAll(QStringLiteral("clip.mkv"));
        QVERIFY2(results == QStringList{QStringLiteral("clip.avi")},
                 qPrintable(results.join(QLatin1Char(' ')) + QLatin1Char('\n') + o.output));
        const QString result = work + QStringLiteral("/clip.avi");
        const qvtest::Probe p = qvtest::probe(result);
        QVERIFY2(p.exitCode == 0, qPrintable(p.output));
        QVERIFY2(qAbs(p.duration - 7.0) < 0.5, qPrintable(QString::number(p.duration)));
        QVERIFY(!p.video.isEmpty());
        int rc = -1;
        const QString decode =
            qvtest::run(QStringLiteral("/usr/bin/ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                         result, QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                        &rc);
        QVERIFY2(rc == 0 && decode.isEmpty(), qPrintable(decode));

        // The user's files where the base directory rules put them; nothing anywhere else.
        QCOMPARE(filesUnder(config), QStringList({QStringLiteral("quorvane/Quorvane_R.ini"),
                                                  QStringLiteral("quorvane/profile.txt")}));
        const QByteArray saved = qvtest::readFile(own + QStringLiteral("/Quorvane_R.ini"));
        QVERIFY2(saved.contains("M_LEFT=") && saved.contains("C2_01=1"), saved.constData());
        QCOMPARE(qvtest::readFile(own + QStringLiteral("/profile.txt")),
                 qvtest::readFile(QStringLiteral(QV_SOURCE_DIR_PATH "/dist/profile.txt")));
        QCOMPARE(filesUnder(state), QStringList({QStringLiteral("quorvane/last-run.log")}));
        for (const QString& f : filesUnder(cache))
            QVERIFY2(f.startsWith(QStringLiteral("quorvane-")), qPrintable(f));
        setWritable(programDir(), false);
        QCOMPARE(snapshot(programDir()), before);
        setWritable(programDir(), true);
        QCOMPARE(QDir(runtime).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void installLaysTheDesktopFilesAndUninstallTakesEverythingAway() {
        QCOMPARE(QFileInfo(prefix() + QStringLiteral("/bin/quorvane")).symLinkTarget(),
                 programDir() + QStringLiteral("/Quorvane_R"));
        for (const QString& f : {QStringLiteral("/share/applications/%1.desktop"),
                                 QStringLiteral("/share/metainfo/%1.metainfo.xml"),
                                 QStringLiteral("/share/icons/hicolor/scalable/apps/%1.svg"),
                                 QStringLiteral("/share/icons/hicolor/48x48/apps/%1.png")})
            QVERIFY2(QFile::exists(prefix() + f.arg(kAppId)), qPrintable(f.arg(kAppId)));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("MAKEFLAGS"));
        const Outcome o =
            runWith(QStringLiteral("make"),
                    {QStringLiteral("-s"), QStringLiteral("-C"), QStringLiteral(QV_SOURCE_DIR_PATH),
                     QStringLiteral("uninstall"), QStringLiteral("BUILD=" QV_BINARY_DIR),
                     QStringLiteral("DESTDIR=") + dest(), QStringLiteral("PREFIX=") + kPrefix},
                    env, 60000);
        QVERIFY2(o.exitCode == 0, qPrintable(o.output));
        QCOMPARE(filesUnder(dest()), QStringList());
        QVERIFY(!QFileInfo::exists(programDir()));
    }

    void cleanupTestCase() {
        if (QFileInfo::exists(programDir())) setWritable(programDir(), true);
    }
};

QTEST_GUILESS_MAIN(InstallE2ETest)
#include "install_e2e_test.moc"
