// Mouse events go through the window, as the platform delivers them, so that the
// button's ellipse decides who gets a click.
#define QTEST_QPA_MOUSE_HANDLING
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "support/screen.h"
#include "ui/widgets/TGradBox.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/fonts.h"

using qvtest::paintOf;
using qvtest::Surface;

namespace {

// Leftmost column with dark ink between the rows, or -1.
int inkLeft(const QImage& img, int top, int bottom) {
    for (int x = 0; x < img.width(); ++x)
        for (int y = top; y < bottom; ++y)
            if (qAlpha(img.pixel(x, y)) == 255 && qGray(img.pixel(x, y)) < 160) return x;
    return -1;
}

}  // namespace

class WidgetsButtonTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Surface> host_;
    TdxfColorButton* button_ = nullptr;

    void makeButton(QSize size, const QStringList& caption, int captionPx) {
        host_ = std::make_unique<Surface>();
        host_->resize(200, 420);
        button_ = new TdxfColorButton(host_.get());
        button_->setGeometry(QRect(QPoint(20, 20), size));
        button_->setCaption(caption);
        button_->setFont(qv::ui::uiFont(captionPx));
        QVERIFY(qvtest::showExposed(host_.get()));
    }

  private slots:
    void cleanup() { host_.reset(); }

    void clickArea_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("clicks");
        QTest::newRow("centre") << QPoint(28, 23) << true;
        QTest::newRow("top-left corner") << QPoint(1, 1) << false;
        QTest::newRow("top-right corner") << QPoint(56, 0) << false;
        QTest::newRow("bottom-left corner") << QPoint(0, 45) << false;
        QTest::newRow("bottom-right corner") << QPoint(56, 45) << false;
        QTest::newRow("left edge, middle") << QPoint(0, 23) << true;
        QTest::newRow("top edge, middle") << QPoint(28, 0) << true;
    }
    void clickArea() {
        QFETCH(QPoint, at);
        QFETCH(bool, clicks);
        makeButton({57, 46}, {QStringLiteral("再生")}, 11);
        QSignalSpy clicked(button_, &TdxfColorButton::OnClick);
        QTest::mouseClick(button_, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.count(), clicks ? 1 : 0);
        // Outside the ellipse the press belongs to the surface below.
        QCOMPARE(host_->presses, clicks ? 0 : 1);
    }

    void releaseOutsideDoesNotClick() {
        makeButton({57, 46}, {QStringLiteral("再生")}, 11);
        QSignalSpy clicked(button_, &TdxfColorButton::OnClick);
        QTest::mousePress(button_, Qt::LeftButton, {}, QPoint(28, 23));
        QVERIFY(button_->isPressed());
        QTest::mouseMove(button_, QPoint(1, 1));
        QVERIFY(!button_->isPressed());
        QTest::mouseRelease(button_, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(clicked.count(), 0);
        // Coming back in before the release still clicks.
        QTest::mousePress(button_, Qt::LeftButton, {}, QPoint(28, 23));
        QTest::mouseMove(button_, QPoint(-30, 23));
        QTest::mouseMove(button_, QPoint(30, 20));
        QVERIFY(button_->isPressed());
        QTest::mouseRelease(button_, Qt::LeftButton, {}, QPoint(30, 20));
        QCOMPARE(clicked.count(), 1);
    }

    void otherButtonsDoNotClick() {
        makeButton({57, 46}, {QStringLiteral("再生")}, 11);
        QSignalSpy clicked(button_, &TdxfColorButton::OnClick);
        QTest::mouseClick(button_, Qt::RightButton, {}, QPoint(28, 23));
        QCOMPARE(clicked.count(), 0);
    }

    void disabledDoesNotFire() {
        makeButton({57, 352}, {QStringLiteral("G"), QStringLiteral("ｏ"), QStringLiteral(" !")},
                   16);
        button_->setEnabled(false);
        QSignalSpy clicked(button_, &TdxfColorButton::OnClick);
        QTest::mouseClick(button_, Qt::LeftButton, {}, QPoint(28, 176));
        QCOMPARE(clicked.count(), 0);
        QVERIFY(!button_->isPressed());
        button_->setEnabled(true);
        QTest::mouseClick(button_, Qt::LeftButton, {}, QPoint(28, 176));
        QCOMPARE(clicked.count(), 1);
    }

    void faceAndCorners() {
        makeButton({57, 46}, {QStringLiteral("再生")}, 11);
        const QImage img = paintOf(button_);
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(1, 1)), 0);
        QCOMPARE(qAlpha(img.pixel(56, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(56, 45)), 0);
        QCOMPARE(img.pixel(4, 23), qRgb(255, 255, 255));
        QCOMPARE(img.pixel(28, 3), qRgb(255, 255, 255));
    }

    void pressedLookMovesCaption() {
        makeButton({57, 92}, {QStringLiteral("ﾌﾟﾚﾋﾞｭｰ")}, 16);
        const QImage up = paintOf(button_);
        QTest::mousePress(button_, Qt::LeftButton, {}, QPoint(28, 46));
        const QImage down = paintOf(button_);
        QTest::mouseRelease(button_, Qt::LeftButton, {}, QPoint(28, 46));
        QVERIFY(up != down);
        // Within the caption's band the pressed picture is the released one moved 1 px right and
        // down.
        for (int y = 30; y < 60; ++y)
            for (int x = 6; x < 50; ++x) QCOMPARE(down.pixel(x + 1, y + 1), up.pixel(x, y));
    }

    void captionLinesStartAtTheBlockEdge() {
        makeButton({90, 120}, {QStringLiteral("WWW"), QStringLiteral("I")}, 16);
        const QImage img = paintOf(button_);
        const int lineHeight = QFontMetrics(button_->font()).height();
        const int top = (120 - 2 * lineHeight) / 2;
        const int first = inkLeft(img, top, top + lineHeight);
        const int second = inkLeft(img, top + lineHeight, top + 2 * lineHeight);
        QVERIFY(first > 0);
        QVERIFY(second > 0);
        // A centred "I" would start near the middle; in the block it starts at the left edge.
        QVERIFY2(std::abs(second - first) <= 3,
                 qPrintable(QStringLiteral("%1 vs %2").arg(first).arg(second)));
    }

    void disabledCaptionIsEmbossed() {
        makeButton({57, 92}, {QStringLiteral("ﾌﾟﾚﾋﾞｭｰ")}, 16);
        const QImage enabled = paintOf(button_);
        button_->setEnabled(false);
        const QImage disabled = paintOf(button_);
        const QRgb ink = qRgb(77, 77, 77);
        const QRgb shadow = button_->palette().color(QPalette::Active, QPalette::Dark).rgb();
        int inkInEnabled = 0, inkInDisabled = 0, shadowInDisabled = 0;
        for (int y = 0; y < 92; ++y)
            for (int x = 0; x < 57; ++x) {
                inkInEnabled += enabled.pixel(x, y) == ink;
                inkInDisabled += disabled.pixel(x, y) == ink;
                shadowInDisabled += disabled.pixel(x, y) == shadow;
            }
        QVERIFY(inkInEnabled > 0);
        QCOMPARE(inkInDisabled, 0);
        QVERIFY(shadowInDisabled > 0);
    }

    void screenshot() {
        host_ = std::make_unique<Surface>();
        host_->resize(150, 420);
        auto* back = new TGradBox(host_.get());
        back->setDirection(TGradBox::Direction::LeftToRight);
        back->setGeometry(0, 0, 150, 420);
        const struct {
            QRect rect;
            QStringList caption;
            int px;
            bool enabled;
        } buttons[] = {
            {{6, 10, 57, 352},
             {QStringLiteral("G"), QStringLiteral("ｏ"), QStringLiteral(" !")},
             16,
             true},
            {{70, 10, 57, 92}, {QStringLiteral("ﾌﾟﾚﾋﾞｭｰ")}, 16, false},
            {{70, 110, 57, 56}, {QStringLiteral("設定"), QStringLiteral("保存")}, 16, true},
            {{70, 180, 76, 14}, {QStringLiteral("ｲﾝﾌｫﾒｰｼｮﾝ")}, 11, true},
            {{70, 200, 18, 14}, {QStringLiteral("×")}, 12, true},
            {{70, 220, 57, 16}, {QStringLiteral("ｸﾘｱ→")}, 11, true},
        };
        for (const auto& b : buttons) {
            auto* button = new TdxfColorButton(host_.get());
            button->setGeometry(b.rect);
            button->setCaption(b.caption);
            button->setFont(qv::ui::uiFont(b.px));
            button->setEnabled(b.enabled);
        }
        QVERIFY(qvtest::showExposed(host_.get()));
        const QImage img = host_->grab().toImage();
        QVERIFY(qvtest::saveScreenshot(img, QStringLiteral("widget-button.png")));
        // Outside the ellipse the surface below shows through.
        QCOMPARE(img.pixel(6, 10), back->grab().toImage().pixel(6, 10));
    }
};

QTEST_MAIN(WidgetsButtonTest)
#include "widgets_button_test.moc"
