// The tool's plan holds exactly the encoder calls the window makes for the same settings
// file and the same folder: same jobs in the same order, same argument lists byte for byte.
#include <QJsonArray>
#include <QtTest>

#include "cli/tool_support.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"

namespace {

QByteArray rowKey(const char* key, qv::CatalogueId id, std::string_view text) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == text || qv::columnOf(rows[i], 0) == text)
            return QByteArray(key) + "=" + QByteArray::number(int(i)) + "\r\n";
    return QByteArray(key) + "=-1\r\n";
}

}  // namespace

class PlanMatchesWindowTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir state_;

  private slots:
    void initTestCase() {
        qv::ui::testing::enable();
        QVERIFY(state_.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
    }

    void planEqualsTheWindowsRun_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("preview");
        using C = qv::CatalogueId;
        QTest::newRow("folder mode, two passes, range, crop")
            << QByteArray("[SET1]\r\nC1_03=@OUT@/\r\nC1_02=1\r\n[SET2]\r\n" +
                          rowKey("C2_01", C::C2_01, "MP4,MPEG4/H.264") +
                          rowKey("C2_02", C::C2_02, "320x240") + "C2_05=3\r\nC2_07_1=8\r\n" +
                          "[SET3]\r\nC3_01=2\r\nC3_04=1\r\n[SET4]\r\nC4_C1=1\r\nC4_C2=1\r\n" +
                          "C4_C5=1\r\nC4_01_2=1\r\nC4_01_6=30\r\n")
            << false;
        QTest::newRow("source folder, preview, rows out of range")
            << QByteArray("[SET1]\r\nC1_02=0\r\n[SET2]\r\n" +
                          rowKey("C2_01", C::C2_01, "FLV,FlashVideo") +
                          "C2_02=999\r\nC2_07_2=123456\r\n[SET4]\r\nC4_C4=1\r\n")
            << true;
    }

    void planEqualsTheWindowsRun() {
        QFETCH(QByteArray, settings);
        QFETCH(bool, preview);
        qvtest::ToolFolder tool;
        QTemporaryDir work;
        QVERIFY(tool.isValid() && work.isValid());
        settings.replace("@OUT@", QFile::encodeName(work.filePath(QStringLiteral("out"))));
        QVERIFY(tool.writeSettings(settings));
        for (const char* name : {"in/b.wmv", "in/A.avi", "in/sub/c d.mov", "in/日本語.wmv"})
            QVERIFY(qvtest::writeFile(work.filePath(QString::fromUtf8(name)), "SOURCE"));
        const QString in = work.filePath(QStringLiteral("in"));

        QStringList args = {QStringLiteral("--plan"), in};
        if (preview) args.prepend(QStringLiteral("--preview"));
        const qvtest::ToolRun planned = tool.run(args);
        QVERIFY2(planned.exitCode == 0, planned.err.constData());
        QList<QStringList> fromPlan;
        bool valid = false;
        for (const QJsonObject& line : planned.events(&valid)) {
            QVERIFY(!line.contains(QStringLiteral("refused")));
            for (const QJsonValue& pass : line[u"passes"].toArray()) {
                QStringList list;
                for (const QJsonValue& arg : pass.toArray()) list << arg.toString();
                fromPlan << list;
            }
        }
        QVERIFY(valid);
        QCOMPARE(fromPlan.size(), preview ? 4 : 8);

        TMainForm1 window(tool.program().path());
        QVERIFY(qvtest::showExposed(&window));
        window.AddSourcePath(in.toStdString());
        QCOMPARE(window.jobCount(), 4);
        if (preview)
            window.CButton14Click();
        else
            window.CButton10Click();
        QList<QStringList> fromWindow;
        for (const QStringList& call : tool.calls())
            if (!call.last().endsWith(QStringLiteral("_thumb.jpg"))) fromWindow << call;
        QCOMPARE(fromWindow, fromPlan);
    }
};

QTEST_MAIN(PlanMatchesWindowTest)
#include "plan_matches_window_test.moc"
