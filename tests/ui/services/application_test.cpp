// The application object: an exception that escapes an event handler is shown in
// an error box and the program goes on.
#include "ui/services/application.h"

#include <QtTest>
#include <stdexcept>

#include "ui/services/dialogs.h"
#include "ui/widgets/TdxfColorButton.h"

class ApplicationTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        qv::ui::testing::enable();
        qv::ui::testing::clear();
    }

    void applicationCarriesTheTitle() {
        QCOMPARE(QCoreApplication::applicationName(), qv::ui::kAppTitle);
        QCOMPARE(QGuiApplication::applicationDisplayName(), qv::ui::kAppTitle);
    }

    // Arguments that look like Qt's options are jobs: none is eaten, and
    // "-platform x.mp4" does not end the program.
    void commandLineIsLeftToTheProgram() {
        const QStringList args = {QStringLiteral("-reverse"),
                                  QStringLiteral("-platform"),
                                  QStringLiteral("x.mp4"),
                                  QStringLiteral("-style=fusion"),
                                  QStringLiteral("-qwindowgeometry"),
                                  QStringLiteral("1x1"),
                                  QStringLiteral("a b")};
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QV_SHOW_ARGUMENTS"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(child.readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({QStringLiteral("offscreen"), QStringLiteral("left to right"),
                                     QStringLiteral("1")}) +
                            args);
    }

    void failureText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ends in a letter") << "Access denied"
                                          << "Access denied.";
        QTest::newRow("ends in a digit") << "code 5"
                                         << "code 5.";
        QTest::newRow("ends in Japanese") << "ファイル /x/profile.txt は開けません"
                                          << "ファイル /x/profile.txt は開けません.";
        QTest::newRow("ends in a full stop") << "Done."
                                             << "Done.";
        QTest::newRow("ends in a bracket") << "failed (disk)"
                                           << "failed (disk)";
        QTest::newRow("ends in an exclamation mark") << "Stop!"
                                                     << "Stop!";
        QTest::newRow("empty") << ""
                               << "";
    }
    void failureText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(qv::ui::failureText(message), shown);
    }

    void handlerExceptionIsShownAndTheProgramGoesOn() {
        TdxfColorButton button;
        button.resize(60, 40);
        int clicks = 0;
        connect(&button, &TdxfColorButton::OnClick, this, [&clicks] {
            ++clicks;
            if (clicks == 1) throw std::runtime_error("ファイル /x/a.ini は開けません");
            if (clicks == 2) throw 42;
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        for (int i = 0; i < 3; ++i) QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(30, 20));
        QCOMPARE(clicks, 3);
        const QStringList errors = qv::ui::testing::texts(qv::ui::testing::Record::Error);
        QCOMPARE(errors, QStringList({QStringLiteral("ファイル /x/a.ini は開けません."),
                                      QStringLiteral("")}));
        QVERIFY(qv::ui::testing::texts(qv::ui::testing::Record::Message).isEmpty());
    }
};

// QTEST_MAIN with the program's own application object. With QV_SHOW_ARGUMENTS
// set it starts as the program does instead and prints what Qt made of the
// command line, then the arguments as the program reads them afterwards.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QV_SHOW_ARGUMENTS")) {
        qv::ui::Application app(argc, argv);
        QTextStream out(stdout);
        out << QGuiApplication::platformName() << '\n'
            << (QGuiApplication::isRightToLeft() ? "right to left" : "left to right") << '\n'
            << QCoreApplication::arguments().size() << '\n';
        for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
        return 0;
    }
    qv::ui::Application app(argc, argv);
    ApplicationTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
