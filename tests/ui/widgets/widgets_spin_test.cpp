#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "support/screen.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/beep.h"

namespace {

enum Input { Up, Down, PageUp, PageDown, WheelUp, WheelDown, ArrowUp, ArrowDown };

}  // namespace

Q_DECLARE_METATYPE(Input)

class WidgetsSpinTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> host_;
    TLMDSpinEdit* spin_ = nullptr;
    QLineEdit* other_ = nullptr;
    int beeps_ = 0;

    void makeSpin(int maxValue) {
        host_ = std::make_unique<QWidget>();
        host_->resize(200, 80);
        spin_ = new TLMDSpinEdit(host_.get());
        spin_->setGeometry(10, 10, 50, 19);
        spin_->setRange(0, maxValue);
        other_ = new QLineEdit(host_.get());
        other_->setGeometry(10, 40, 80, 19);
        QVERIFY(qvtest::showActive(host_.get()));
        spin_->setFocus();
        QTRY_VERIFY(spin_->lineEdit()->hasFocus());
    }

    // Replaces the text the way a user does: select all, then type.
    void retype(const QString& keys) {
        QTest::keyClick(spin_->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(spin_->lineEdit(), Qt::Key_Backspace);
        for (QChar c : keys) {
            // keyClicks knows Latin-1 only; a full-width character comes as an input method would
            // send it.
            if (c.unicode() < 0x80) {
                QTest::keyClicks(spin_->lineEdit(), QString(c));
            } else {
                QTest::sendKeyEvent(QTest::Click, spin_->lineEdit(), Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            }
        }
    }

    void turnWheel(QWidget* target, int delta) {
        const QPointF at(5, 5);
        QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &e);
    }

  private slots:
    void init() {
        beeps_ = 0;
        qv::ui::widgets::beepHandler() = [this] { ++beeps_; };
    }
    void cleanup() {
        qv::ui::widgets::beepHandler() = nullptr;
        host_.reset();
    }

    void startsAtZero() {
        makeSpin(59);
        QCOMPARE(spin_->text(), QStringLiteral("0"));
        QCOMPARE(spin_->Value(), 0);
        QCOMPARE(spin_->MaxLength(), 3);
    }

    void typing_data() {
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("beeps");
        QTest::newRow("three digits") << 99999 << "123"
                                      << "123" << 0;
        QTest::newRow("a fourth digit is not taken") << 99999 << "9999"
                                                     << "999" << 0;
        QTest::newRow("letter refused with a beep") << 99 << "1a2"
                                                    << "12" << 1;
        QTest::newRow("blank and dot refused") << 99 << "1 .5"
                                               << "15" << 2;
        QTest::newRow("signs are taken") << 99 << "+-5"
                                         << "+-5" << 0;
        QTest::newRow("full-width digit refused") << 99 << "１"
                                                  << "" << 1;
    }
    void typing() {
        QFETCH(int, maxValue);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(int, beeps);
        makeSpin(maxValue);
        retype(keys);
        QCOMPARE(spin_->text(), shown);
        QCOMPARE(beeps_, beeps);
    }

    void pasteFollowsTypingRules_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("beeps");
        QTest::newRow("digits") << "42"
                                << "42" << 0;
        QTest::newRow("cut at three characters") << "98765"
                                                 << "987" << 0;
        QTest::newRow("letters refused whole") << "4x2"
                                               << "" << 1;
    }
    void pasteFollowsTypingRules() {
        QFETCH(QString, clip);
        QFETCH(QString, shown);
        QFETCH(int, beeps);
        makeSpin(99999);
        retype(QStringLiteral(""));
        QGuiApplication::clipboard()->setText(clip);
        QTest::keyClick(spin_->lineEdit(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(spin_->text(), shown);
        QCOMPARE(beeps_, beeps);
    }

    void outOfRangeReadsAsTypedUntilFocusLeaves() {
        makeSpin(59);
        retype(QStringLiteral("75"));
        QCOMPARE(spin_->Value(), 75);
        QCOMPARE(spin_->text(), QStringLiteral("75"));
        other_->setFocus();
        QTRY_VERIFY(other_->hasFocus());
        QCOMPARE(spin_->text(), QStringLiteral("59"));
        QCOMPARE(spin_->Value(), 59);
    }

    void unreadableTextReadsMinimum_data() {
        QTest::addColumn<QString>("keys");
        QTest::newRow("cleared") << "";
        QTest::newRow("lone minus") << "-";
        QTest::newRow("lone plus") << "+";
        QTest::newRow("signs only") << "+-";
        QTest::newRow("sign after digits") << "5-";
    }
    void unreadableTextReadsMinimum() {
        QFETCH(QString, keys);
        makeSpin(59);
        QTest::keyClicks(spin_->lineEdit(), QStringLiteral("7"));
        retype(keys);
        QCOMPARE(spin_->Value(), 0);
        QCOMPARE(spin_->text(), QStringLiteral("0"));
    }

    void stepping_data() {
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<QString>("start");
        QTest::addColumn<Input>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("up key") << 59 << "5" << Up << "6";
        QTest::newRow("down key") << 59 << "5" << Down << "4";
        QTest::newRow("down at the minimum") << 59 << "0" << Down << "0";
        QTest::newRow("up at the maximum") << 59 << "59" << Up << "59";
        QTest::newRow("page up") << 59 << "5" << PageUp << "15";
        QTest::newRow("page down") << 59 << "15" << PageDown << "5";
        QTest::newRow("page up clamps") << 59 << "55" << PageUp << "59";
        QTest::newRow("page down clamps") << 59 << "3" << PageDown << "0";
        QTest::newRow("wheel up") << 59 << "5" << WheelUp << "6";
        QTest::newRow("wheel down") << 59 << "5" << WheelDown << "4";
        QTest::newRow("up arrow button") << 59 << "5" << ArrowUp << "6";
        QTest::newRow("down arrow button") << 59 << "5" << ArrowDown << "4";
        QTest::newRow("stepping goes past three digits") << 99999 << "999" << Up << "1000";
        QTest::newRow("from a typed value beyond the range") << 59 << "75" << Down << "59";
        QTest::newRow("from an unreadable text") << 59 << "-" << Up << "1";
    }
    void stepping() {
        QFETCH(int, maxValue);
        QFETCH(QString, start);
        QFETCH(Input, input);
        QFETCH(QString, expected);
        makeSpin(maxValue);
        retype(start);
        QLineEdit* edit = spin_->lineEdit();
        switch (input) {
            case Up:
                QTest::keyClick(edit, Qt::Key_Up);
                break;
            case Down:
                QTest::keyClick(edit, Qt::Key_Down);
                break;
            case PageUp:
                QTest::keyClick(edit, Qt::Key_PageUp);
                break;
            case PageDown:
                QTest::keyClick(edit, Qt::Key_PageDown);
                break;
            case WheelUp:
                turnWheel(edit, 120);
                break;
            case WheelDown:
                turnWheel(edit, -120);
                break;
            case ArrowUp:
                QTest::mouseClick(spin_->upButton(), Qt::LeftButton);
                break;
            case ArrowDown:
                QTest::mouseClick(spin_->downButton(), Qt::LeftButton);
                break;
        }
        QCOMPARE(spin_->text(), expected);
    }

    void longerTextStaysEditable() {
        makeSpin(99999);
        spin_->setValue(12345);
        QCOMPARE(spin_->text(), QStringLiteral("12345"));
        QTest::keyClick(spin_->lineEdit(), Qt::Key_End);
        QTest::keyClick(spin_->lineEdit(), Qt::Key_6);  // no room for typing
        QCOMPARE(spin_->text(), QStringLiteral("12345"));
        QTest::keyClick(spin_->lineEdit(), Qt::Key_Backspace);  // but deleting works
        QCOMPARE(spin_->text(), QStringLiteral("1234"));
    }

    void writingClamps_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inside") << 30 << "30";
        QTest::newRow("above") << 75 << "59";
        QTest::newRow("below") << -4 << "0";
    }
    void writingClamps() {
        QFETCH(int, value);
        QFETCH(QString, expected);
        makeSpin(59);
        spin_->setValue(value);
        QCOMPARE(spin_->text(), expected);
    }

    void changeEventOnEveryTextChange() {
        makeSpin(59);
        QSignalSpy changes(spin_, &TLMDSpinEdit::OnChange);
        QTest::keyClicks(spin_->lineEdit(), QStringLiteral("12"));  // typed after the "0": "012"
        const int typed = changes.count();
        QCOMPARE(typed, 2);
        spin_->setValue(12);  // "012" reads 12 but the text differs
        QCOMPARE(changes.count(), typed + 1);
        spin_->setValue(12);  // same text again: nothing
        QCOMPARE(changes.count(), typed + 1);
        spin_->setValue(0);
        QTest::keyClick(spin_->lineEdit(), Qt::Key_Down);  // clamped at 0: text unchanged
        QCOMPARE(changes.count(), typed + 2);
        QTest::keyClick(spin_->lineEdit(), Qt::Key_Up);
        QCOMPARE(changes.count(), typed + 3);
    }

    void disabledIgnoresStepping() {
        makeSpin(59);
        spin_->setEnabled(false);
        turnWheel(spin_->lineEdit(), 120);
        QTest::mouseClick(spin_->upButton(), Qt::LeftButton);
        QCOMPARE(spin_->text(), QStringLiteral("0"));
    }

    void tintedField() {
        makeSpin(59);
        other_->setFocus();
        QTRY_VERIFY(other_->hasFocus());
        const QColor pink(255, 196, 255);
        spin_->setColor(pink);
        spin_->setValue(42);
        const QImage img = spin_->grab().toImage();
        QVERIFY(qvtest::saveScreenshot(img, QStringLiteral("widget-spin.png")));
        QCOMPARE(img.pixelColor(28, 9).rgb(), pink.rgb());   // field, right of the digits
        QVERIFY(img.pixelColor(43, 4).rgb() != pink.rgb());  // arrow buttons keep their look
        // The digits are drawn in dark ink somewhere in the field's left part.
        bool ink = false;
        for (int x = 2; x < 24 && !ink; ++x)
            for (int y = 3; y < 16 && !ink; ++y) ink = qGray(img.pixel(x, y)) < 80;
        QVERIFY(ink);
    }
};

QTEST_MAIN(WidgetsSpinTest)
#include "widgets_spin_test.moc"
