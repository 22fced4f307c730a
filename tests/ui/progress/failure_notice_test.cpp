// Go! over a folder of sources that trip conversions up, through the program folder's
// encoder: the end notice names every file that did not become a playable result, each with
// a reason in Japanese and none with the encoder's English line.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "settings/catalogues.h"
#include "support/crafted_sources.h"
#include "support/mp4_qvga_rows.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TdxfColorButton.h"

using Record = qv::ui::testing::Record;
using qvtest::crafted::argList;

namespace {

bool decodesWhole(const QString& path) {
    int rc = 0;
    const QString errors =
        qvtest::run(QStringLiteral("/usr/bin/ffmpeg"),
                    argList("-v", "error", "-nostdin", "-i", path, "-f", "null", "-"), &rc);
    return rc == 0 && errors.trimmed().isEmpty();
}

}  // namespace

class FailureNoticeTest : public QObject {
    Q_OBJECT
    qvtest::ProgramFolder programDir_;
    QTemporaryDir work_;
    QTemporaryDir state_;  // the run's log goes here, not into the home folder

  private slots:
    void initTestCase() {
        qv::ui::testing::enable();
        QVERIFY(programDir_.isValid() && work_.isValid() && state_.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(state_.filePath(QStringLiteral("cache"))));
        const QString shipped = qEnvironmentVariable("QV_PROGRAM_DIR");
        QVERIFY2(!shipped.isEmpty(), "QV_PROGRAM_DIR is not set");
        QVERIFY(programDir_.linkEncoder(QDir(shipped).filePath(QStringLiteral("ffmpeg"))));
        QVERIFY(QDir().mkpath(work_.filePath(QStringLiteral("sources"))));
        const QString failed =
            qvtest::makeCraftedSources(work_.filePath(QStringLiteral("sources")));
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    // Every setting automatic into AVI: each source is copied, or says why it is not.
    void everyFailedFileIsNamedInJapanese() {
        const QDir sources(work_.filePath(QStringLiteral("sources")));
        const QDir out(work_.filePath(QStringLiteral("Out")));
        qv::ui::testing::clear();
        TMainForm1 w(programDir_.path());
        QVERIFY(qvtest::showExposed(&w));
        const QStringList names = qvtest::craftedSourceNames();
        for (const QString& n : names) w.AddSourcePath(sources.filePath(n).toStdString());
        const int avi = qvtest::rowWithValue(qv::CatalogueId::C2_01, "AVI");
        QVERIFY(avi > 0);
        w.C2_01->setItemIndex(avi);
        for (TMultiColComboBox* b : {w.C2_02, w.C2_03, w.C2_04, w.C2_05, w.C2_06, w.C3_01, w.C3_02,
                                     w.C3_03, w.C3_04, w.C3_05, w.C3_06})
            b->setItemIndex(0);
        w.C1_02->setItemIndex(1);
        w.C1_03->setPath(out.path());
        for (QCheckBox* b : {w.CheckBox1, w.CheckBox3, w.CheckBox4, w.CheckBox5})
            b->setChecked(false);
        QTest::mouseClick(w.CButton10, Qt::LeftButton, {}, w.CButton10->rect().center());

        const QStringList messages = qv::ui::testing::texts(Record::Message);
        QCOMPARE(messages.size(), 1);
        qInfo().noquote() << messages.front();
        // The notice, a blank line, one line per failed file, a blank line, the log.
        QMap<QString, QString> reasons;
        for (const QString& line : messages.front().split(u'\n')) {
            const int colon = line.indexOf(QStringLiteral(": "));
            if (colon > 0 && names.contains(line.left(colon)))
                reasons.insert(line.left(colon), line.mid(colon + 2));
        }
        static const QRegularExpression english(
            QStringLiteral("[A-Za-z]{2,}[ ,:()]+[A-Za-z]{2,}[ ,:()]+[A-Za-z]{2,}"));
        for (auto it = reasons.begin(); it != reasons.end(); ++it) {
            const QString& r = it.value();
            QVERIFY2(std::any_of(r.begin(), r.end(), [](QChar c) { return c.unicode() >= 0x3000; }),
                     qPrintable(it.key() + QStringLiteral(": ") + r));
            QVERIFY2(!english.match(r).hasMatch(), qPrintable(it.key() + QStringLiteral(": ") + r));
        }
        // Named exactly when it did not become a result that plays whole.
        for (const QString& n : names) {
            const QString result =
                out.filePath(QFileInfo(n).completeBaseName() + QStringLiteral(".avi"));
            const bool made = QFileInfo::exists(result);
            QVERIFY2(made != reasons.contains(n), qPrintable(n));
            if (made) QVERIFY2(decodesWhole(result), qPrintable(result));
        }
        for (const char* empty :
             {"no_samples.wav", "no_frames_1x1.wmv", "tiny_cut.avi", "damaged_header_mkv.mkv",
              "damaged_header_mp4.mp4", "cut_mp4.mp4"})
            QVERIFY2(reasons.contains(QString::fromLatin1(empty)), empty);
        QCOMPARE(reasons.value(QStringLiteral("no_samples.wav")),
                 QStringLiteral("変換できる映像も音声も含まれていません"));
        QVERIFY(w.isEnabled());
    }
};

QTEST_MAIN(FailureNoticeTest)
#include "failure_notice_test.moc"
