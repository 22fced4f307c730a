#include "ui/progress/progress_form.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TGradBox.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TShape.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfProgressBar.h"

using Record = qv::ui::testing::Record;

namespace {

void makeFile(const QString& path, std::int64_t size) {
    std::ofstream(path.toStdString(), std::ios::binary).close();
    // Sparse: large sizes cost no disk.
    std::filesystem::resize_file(path.toStdString(), static_cast<std::uintmax_t>(size));
}

}  // namespace

class ProgressFormTest : public QObject {
    Q_OBJECT
  private:
    std::string source_, dest_;
    qv::EncoderProcess process_;
    std::unique_ptr<TProgressForm1> form_;
    QTemporaryDir dir_;

    TProgressForm1* makeForm() {
        form_ = std::make_unique<TProgressForm1>(
            nullptr, TProgressForm1::RunFields{&source_, &dest_, &process_});
        if (!qvtest::showExposed(form_.get())) return nullptr;
        return form_.get();
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

  private slots:
    void init() {
        qv::ui::testing::enable();
        qv::ui::testing::clear();
        source_.clear();
        dest_.clear();
    }
    void cleanup() {
        form_.reset();
        if (!process_.waitFor(0)) process_.stop();
    }

    void initialLook() {
        auto* f = makeForm();
        QVERIFY(f);
        QCOMPARE(f->size(), QSize(401, 72));
        QVERIFY(f->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(f->isWindow());
        QCOMPARE(f->Label1->Caption(), QStringLiteral("***.*** -> ***.***"));
        QCOMPARE(f->Label2->Caption(), QStringLiteral("0KB -> 0KB"));
        QCOMPARE(f->CButton1->Caption(), QStringList{QStringLiteral("ｷｬﾝｾﾙ")});
        QCOMPARE(f->CButton1->toolTip(),
                 QStringLiteral(" キャンセル（Shift+クリックで残りの変換もすべて中止）"));
        QVERIFY(!f->Image1->hasPicture());
        QCOMPARE(f->ProgressBar1->Min(), 0);
        QCOMPARE(f->ProgressBar1->Max(), 10);
        QCOMPARE(f->ProgressBar1->Position(), 0);
        QVERIFY(!f->Timer1->isActive());
        QCOMPARE(f->Timer1->interval(), 1000);
        QVERIFY(!f->Cancelled);

        const QList<QPair<QWidget*, QRect>> places = {
            {f->GradBox6, QRect(0, 0, 401, 72)},  {f->Shape1, QRect(5, 5, 82, 62)},
            {f->Image1, QRect(6, 6, 80, 60)},     {f->ProgressBar1, QRect(92, 48, 300, 15)},
            {f->CButton1, QRect(322, 4, 76, 16)},
        };
        for (const auto& [w, r] : places) QCOMPARE(w->geometry(), r);
        QCOMPARE(f->Label1->pos(), QPoint(96, 18));
        QCOMPARE(f->Label2->pos(), QPoint(96, 32));

        // Empty thumbnail: the black frame shows, with its white border.
        const QImage shot = f->grab().toImage();
        QCOMPARE(shot.pixelColor(46, 36), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(5, 36), QColor(Qt::white));
        qvtest::saveScreenshot(f, QStringLiteral("progress_form_initial.png"));
    }

    void sizeLine_data() {
        QTest::addColumn<qint64>("sourceBytes");  // -1: no such file
        QTest::addColumn<qint64>("destBytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("output not yet created")
            << qint64(1234567) << qint64(-1) << QStringLiteral("1234KB -> 0KB");
        QTest::newRow("below one KB") << qint64(999) << qint64(0) << QStringLiteral("0KB -> 0KB");
        QTest::newRow("by 1000 not 1024")
            << qint64(1000) << qint64(1999) << QStringLiteral("1KB -> 1KB");
        QTest::newRow("source gone") << qint64(-1) << qint64(5000) << QStringLiteral("0KB -> 5KB");
        QTest::newRow("2 GiB") << qint64(2147483648LL) << qint64(2147483647LL)
                               << QStringLiteral("2147483KB -> 2147483KB");
        QTest::newRow("above 4 GiB") << qint64(4294967296LL + 5000) << qint64(3000000000LL)
                                     << QStringLiteral("4294972KB -> 3000000KB");
    }
    void sizeLine() {
        QFETCH(qint64, sourceBytes);
        QFETCH(qint64, destBytes);
        QFETCH(QString, expected);
        source_ = path(QStringLiteral("src.avi")).toStdString();
        dest_ = path(QStringLiteral("out.mp4")).toStdString();
        QFile::remove(QString::fromStdString(source_));
        QFile::remove(QString::fromStdString(dest_));
        if (sourceBytes >= 0) makeFile(QString::fromStdString(source_), sourceBytes);
        if (destBytes >= 0) makeFile(QString::fromStdString(dest_), destBytes);
        auto* f = makeForm();
        QVERIFY(f);
        f->Timer1Timer();
        QCOMPARE(f->Label2->Caption(), expected);
        QCOMPARE(f->SourceSize, sourceBytes);
        QCOMPARE(f->DestSize, destBytes);
        QVERIFY(qv::ui::testing::records().isEmpty());
    }

    void tickFollowsGrowingOutput() {
        source_ = path(QStringLiteral("grow_src.avi")).toStdString();
        dest_ = path(QStringLiteral("grow_out.avi")).toStdString();
        makeFile(QString::fromStdString(source_), 50000);
        auto* f = makeForm();
        QVERIFY(f);
        f->Timer1->start();
        QTRY_COMPARE_WITH_TIMEOUT(f->Label2->Caption(), QStringLiteral("50KB -> 0KB"), 5000);
        makeFile(QString::fromStdString(dest_), 7000);
        QTRY_COMPARE_WITH_TIMEOUT(f->Label2->Caption(), QStringLiteral("50KB -> 7KB"), 5000);
        makeFile(QString::fromStdString(dest_), 21000);
        QTRY_COMPARE_WITH_TIMEOUT(f->Label2->Caption(), QStringLiteral("50KB -> 21KB"), 5000);
    }

    void cancel_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("stops");
        QTest::newRow("running") << QStringLiteral("running") << true;
        QTest::newRow("ended and collected") << QStringLiteral("collected") << false;
        QTest::newRow("ended, not yet collected") << QStringLiteral("zombie") << false;
        QTest::newRow("never started") << QStringLiteral("none") << false;
    }
    void cancel() {
        QFETCH(QString, state);
        QFETCH(bool, stops);
        if (state == QLatin1String("running")) {
            QVERIFY(process_.start("/bin/sleep", {"30"}));
        } else if (state != QLatin1String("none")) {
            QVERIFY(process_.start("/bin/true", {}));
            if (state == QLatin1String("collected")) {
                QVERIFY(process_.waitFor(5000));
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(qvtest::isZombie(process_.pid()), 5000);
            }
        }
        auto* f = makeForm();
        QVERIFY(f);
        QTest::mouseClick(f->CButton1, Qt::LeftButton, {}, f->CButton1->rect().center());
        QCOMPARE(f->Cancelled, stops);
        if (stops) {
            QVERIFY(process_.waitFor(5000));
            QVERIFY(qv::ui::testing::records().isEmpty());
        } else {
            const auto& rec = qv::ui::testing::records();
            QCOMPARE(rec.size(), 2);
            QCOMPARE(rec[0].kind, Record::Beep);
            QCOMPARE(rec[1].kind, Record::Message);
            QCOMPARE(rec[1].text, QStringLiteral("変換を中止できませんでした。"));
        }
    }

    void stopAll_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("yes");
        QTest::newRow("Esc, yes") << QStringLiteral("esc") << true;
        QTest::newRow("Esc, no") << QStringLiteral("esc") << false;
        QTest::newRow("Shift+click, yes") << QStringLiteral("shift") << true;
        QTest::newRow("Shift+click, no") << QStringLiteral("shift") << false;
    }
    void stopAll() {
        QFETCH(QString, how);
        QFETCH(bool, yes);
        QVERIFY(process_.start("/bin/sleep", {"30"}));
        auto* f = makeForm();
        QVERIFY(f);
        qv::ui::testing::queueYesNo(yes);
        if (how == QLatin1String("esc"))
            QTest::keyClick(f, Qt::Key_Escape);
        else
            QTest::mouseClick(f->CButton1, Qt::LeftButton, Qt::ShiftModifier,
                              f->CButton1->rect().center());
        QCOMPARE(qv::ui::testing::texts(Record::Question),
                 (QStringList{QStringLiteral("残りの変換もすべて中止しますか？")}));
        QCOMPARE(f->StopAll, yes);
        // Yes stops the running pass as a cancel does; no leaves it running.
        QCOMPARE(f->Cancelled, yes);
        QCOMPARE(process_.waitFor(yes ? 5000 : 100), yes);
        QVERIFY(qv::ui::testing::texts(Record::Message).isEmpty());
    }

    void stopAllQuestionDefaultsToNo() {
        QVERIFY(process_.start("/bin/sleep", {"30"}));
        auto* f = makeForm();
        QVERIFY(f);
        qv::ui::testing::disable();  // the real box, answered with Return
        QStringList buttons;
        QString text;
        QTimer::singleShot(100, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            text = box->text();
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTimer::singleShot(5000, this, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        QTest::keyClick(f, Qt::Key_Escape);
        qv::ui::testing::enable();
        QCOMPARE(text, QStringLiteral("残りの変換もすべて中止しますか？"));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));
        QVERIFY(!f->StopAll);
        QVERIFY(!f->Cancelled);
        QVERIFY(!process_.waitFor(0));
    }

    void barPercentages_data() {
        QTest::addColumn<int>("max");
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("3 jobs") << 3 << QList<int>{0, 1, 2}
                                << QStringList{QStringLiteral("0 %"), QStringLiteral("33 %"),
                                               QStringLiteral("67 %")};
        QTest::newRow("4 jobs") << 4 << QList<int>{0, 1, 2, 3}
                                << QStringList{QStringLiteral("0 %"), QStringLiteral("25 %"),
                                               QStringLiteral("50 %"), QStringLiteral("75 %")};
        QTest::newRow("8 jobs") << 8 << QList<int>{1, 3}
                                << QStringList{QStringLiteral("12 %"), QStringLiteral("38 %")};
    }
    void barPercentages() {
        QFETCH(int, max);
        QFETCH(QList<int>, positions);
        QFETCH(QStringList, texts);
        auto* f = makeForm();
        QVERIFY(f);
        f->ProgressBar1->setMax(max);
        for (int i = 0; i < positions.size(); ++i) {
            f->ProgressBar1->setPosition(positions[i]);
            QCOMPARE(f->ProgressBar1->text(), texts[i]);
        }
    }

    void thumbnailStretched() {
        qv::RgbImage picture;
        picture.width = 16;
        picture.height = 12;
        picture.pixels.assign(16 * 12 * 3, 0);
        for (int i = 0; i < 16 * 12; ++i) picture.pixels[i * 3] = 255;  // red
        // Bottom right pixel green, so a stretch (not a tile or a corner copy) is seen.
        picture.pixels[(12 * 16 - 1) * 3] = 0;
        picture.pixels[(12 * 16 - 1) * 3 + 1] = 255;
        auto* f = makeForm();
        QVERIFY(f);
        f->Image1->setPicture(picture);
        QImage shot = f->grab().toImage();
        QCOMPARE(shot.pixelColor(6 + 2, 6 + 2), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(6 + 40, 6 + 30), QColor(Qt::red));
        QCOMPARE(shot.pixelColor(6 + 79, 6 + 59), QColor(Qt::green));
        QCOMPARE(shot.pixelColor(6 + 60, 6 + 50), QColor(Qt::red));
        qvtest::saveScreenshot(f, QStringLiteral("progress_form_thumbnail.png"));
        f->Image1->clearPicture();
        shot = f->grab().toImage();
        QCOMPARE(shot.pixelColor(6 + 40, 6 + 30), QColor(Qt::black));
    }

    void drag_data() {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<bool>("moves");
        QTest::newRow("gradient") << QPoint(200, 6) << true;
        QTest::newRow("name line") << QPoint(100, 25) << true;
        QTest::newRow("thumbnail") << QPoint(40, 30) << true;
        QTest::newRow("bar") << QPoint(242, 55) << false;
        QTest::newRow("cancel button") << QPoint(360, 12) << false;
    }
    void drag() {
        QFETCH(QPoint, press);
        QFETCH(bool, moves);
        QVERIFY(process_.start("/bin/sleep", {"30"}));
        auto* f = makeForm();
        QVERIFY(f);
        const QPoint before = f->pos();
        const QPoint delta(30, 20);
        QTest::mousePress(f, Qt::LeftButton, {}, press);
        QTest::mouseMove(f, press + delta);
        QTest::mouseRelease(f, Qt::LeftButton, {}, press + delta);
        QCOMPARE(f->pos(), moves ? before + delta : before);
        // Pressing and leaving the button is no click: nothing is stopped.
        QVERIFY(!process_.waitFor(0));  // still running
        QVERIFY(!f->Cancelled);
    }
};

QTEST_MAIN(ProgressFormTest)
#include "progress_form_test.moc"
