// Mouse events go through the window, so a decoration that swallowed presses would show.
#define QTEST_QPA_MOUSE_HANDLING
#include <QDir>
#include <QFontDatabase>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

#include "support/screen.h"
#include "ui/widgets/TBevel.h"
#include "ui/widgets/TGradBox.h"
#include "ui/widgets/THintBalloon.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfLabel.h"
#include "ui/widgets/TdxfProgressBar.h"
#include "ui/widgets/fonts.h"

using qvtest::paintOf;
using qvtest::Surface;

namespace {

// Bounding box of the opaque pixels that pass the test.
QRect inkBox(const QImage& img, const std::function<bool(QRgb)>& pass, int minAlpha = 200) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > minAlpha && pass(img.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

bool near(QRgb c, int grey, int tolerance = 2) {
    return std::abs(qRed(c) - grey) <= tolerance && std::abs(qGreen(c) - grey) <= tolerance &&
           std::abs(qBlue(c) - grey) <= tolerance;
}

enum Kind { ShadowLabel, Title, Gradient, Bevel };

}  // namespace

Q_DECLARE_METATYPE(Kind)

class WidgetsMiscTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> host_;

  private slots:
    void cleanup() {
        host_.reset();
        TLMDBrowseEdit::pickerForTests = nullptr;
    }

    // --- fonts ---

    void fontShowsJapanese() {
        const QFont f = qv::ui::uiFont(11, true);
        QCOMPARE(f.pixelSize(), 11);
        QVERIFY(f.bold());
        const QFontMetrics fm(f);
        for (QChar c : QStringLiteral("変換ﾌｧｲﾙｷｬﾝｾﾙ保存"))
            QVERIFY2(
                fm.inFont(c),
                qPrintable(
                    QStringLiteral("no glyph for %1 in %2").arg(c).arg(QFontInfo(f).family())));
    }

    // --- folder edit ---

    void browsePicksFolder() {
        host_ = std::make_unique<QWidget>();
        auto* edit = new TLMDBrowseEdit(host_.get());
        edit->setGeometry(0, 0, 142, 19);
        QVERIFY(qvtest::showExposed(host_.get()));
        edit->setPath(QStringLiteral("/srv/videos"));
        QString startedAt;
        TLMDBrowseEdit::pickerForTests = [&](const QString& start) {
            startedAt = start;
            return QStringLiteral("/srv/out");
        };
        QSignalSpy changes(edit, &TLMDBrowseEdit::OnChange);
        QTest::mouseClick(edit->browseButton(), Qt::LeftButton);
        QCOMPARE(startedAt, QStringLiteral("/srv/videos"));
        QCOMPARE(edit->Path(), QDir::toNativeSeparators(QStringLiteral("/srv/out")));
        QCOMPARE(changes.count(), 1);

        TLMDBrowseEdit::pickerForTests = [](const QString&) { return QString(); };  // cancel
        QTest::mouseClick(edit->browseButton(), Qt::LeftButton);
        QCOMPARE(edit->Path(), QDir::toNativeSeparators(QStringLiteral("/srv/out")));
        QCOMPARE(changes.count(), 1);
        QVERIFY(
            qvtest::saveScreenshot(edit->grab().toImage(), QStringLiteral("widget-browse.png")));
    }

    void browseFromEmptyStartsAtDesktop() {
        host_ = std::make_unique<QWidget>();
        auto* edit = new TLMDBrowseEdit(host_.get());
        QVERIFY(qvtest::showExposed(host_.get()));
        QString startedAt = QStringLiteral("not called");
        TLMDBrowseEdit::pickerForTests = [&](const QString& start) {
            startedAt = start;
            return QString();
        };
        QTest::mouseClick(edit->browseButton(), Qt::LeftButton);
        QCOMPARE(startedAt, QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        QCOMPARE(edit->Path(), QString());
    }

    void pathChangeEvents() {
        host_ = std::make_unique<QWidget>();
        auto* edit = new TLMDBrowseEdit(host_.get());
        QVERIFY(qvtest::showExposed(host_.get()));
        QSignalSpy changes(edit, &TLMDBrowseEdit::OnChange);
        edit->setPath(QStringLiteral("C:\\My Documents"));
        edit->setPath(QStringLiteral("C:\\My Documents"));  // same text: nothing
        QCOMPARE(changes.count(), 1);
        QTest::keyClicks(edit->lineEdit(), QStringLiteral("ab"));  // typed: once per change
        QCOMPARE(changes.count(), 3);
        QCOMPARE(edit->Path(), QStringLiteral("C:\\My Documentsab"));
    }

    // --- progress bar ---

    void percentText_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("expected");
        QTest::newRow("3 jobs, first") << 0 << 3 << "0 %";
        QTest::newRow("3 jobs, second") << 1 << 3 << "33 %";
        QTest::newRow("3 jobs, third") << 2 << 3 << "67 %";
        QTest::newRow("8 jobs, second: half goes down to even") << 1 << 8 << "12 %";
        QTest::newRow("8 jobs, fourth: half goes up to even") << 3 << 8 << "38 %";
        QTest::newRow("8 jobs, sixth") << 5 << 8 << "62 %";
        QTest::newRow("8 jobs, eighth") << 7 << 8 << "88 %";
        QTest::newRow("4 jobs, last") << 3 << 4 << "75 %";
        QTest::newRow("200 jobs: 0.5 rounds to 0") << 1 << 200 << "0 %";
        QTest::newRow("200 jobs: 1.5 rounds to 2") << 3 << 200 << "2 %";
        QTest::newRow("no span") << 0 << 0 << "0 %";
    }
    void percentText() {
        QFETCH(int, position);
        QFETCH(int, max);
        QFETCH(QString, expected);
        TdxfProgressBar bar;
        bar.setMax(max);
        bar.setPosition(position);
        QCOMPARE(bar.text(), expected);
    }

    void progressLook() {
        TdxfProgressBar bar;
        bar.resize(300, 15);
        bar.setMax(2);
        bar.setPosition(1);
        const QImage img = bar.grab().toImage();
        QVERIFY(qvtest::saveScreenshot(img, QStringLiteral("widget-progress.png")));
        // Lowered bevel: dark top-left, light bottom-right.
        QVERIFY(qGray(img.pixel(0, 0)) < qGray(img.pixel(299, 14)));
        // Grey at the start of the bar, lighter toward its end, the unfilled half apart.
        QVERIFY(near(img.pixel(1, 2), 128, 4));
        QVERIFY(qGray(img.pixel(146, 2)) > 240);
        QVERIFY(near(img.pixel(250, 7), 240, 0));
        // The text "50 %" in its colour in the middle: nothing else is that dark.
        const QRect text = inkBox(img.copy(1, 1, 298, 13), [](QRgb c) { return qGray(c) < 110; });
        QVERIFY(!text.isEmpty());
        QVERIFY(text.left() > 120 && text.right() < 180);
        // Its darkest pixel is the text colour, not black.
        int darkest = 255;
        for (int y = text.top(); y <= text.bottom(); ++y)
            for (int x = text.left(); x <= text.right(); ++x)
                darkest = std::min(darkest, qGray(img.pixel(x + 1, y + 1)));
        QVERIFY2(darkest >= 0x46 - 3 && darkest <= 0x46 + 20, qPrintable(QString::number(darkest)));
    }

    // --- decorations ---

    void decorationsPassPressesThrough_data() {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("shadowed label") << ShadowLabel;
        QTest::newRow("vertical title") << Title;
        QTest::newRow("gradient") << Gradient;
        QTest::newRow("frame") << Bevel;
    }
    void decorationsPassPressesThrough() {
        QFETCH(Kind, kind);
        auto host = std::make_unique<Surface>();
        host->resize(200, 200);
        QWidget* w = nullptr;
        switch (kind) {
            case ShadowLabel: {
                auto* l = new TShadowLabel(host.get());
                l->setCaption(QStringLiteral("ｽﾃｰﾀｽ"));
                w = l;
                break;
            }
            case Title:
                w = new TdxfLabel(host.get());
                break;
            case Gradient:
                w = new TGradBox(host.get());
                break;
            case Bevel:
                w = new TBevel(host.get());
                break;
        }
        w->setGeometry(10, 10, kind == ShadowLabel ? w->width() : 100, 20);
        QVERIFY(qvtest::showExposed(host.get()));
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(3, 5));
        QCOMPARE(host->presses, 1);
    }

    void shadowLabelFollowsText_data() {
        QTest::addColumn<bool>("right");
        QTest::newRow("left-aligned keeps its left edge") << false;
        QTest::newRow("right-aligned keeps its right edge") << true;
    }
    void shadowLabelFollowsText() {
        QFETCH(bool, right);
        QWidget host;
        auto* label = new TShadowLabel(&host);
        label->setRightAligned(right);
        label->setGeometry(100, 10, 56, 11);
        label->setCaption(QStringLiteral("保存先 ："));
        const int shortWidth = label->width();
        QCOMPARE(right ? label->x() + label->width() : label->x(), right ? 156 : 100);
        label->setCaption(QStringLiteral("保存先のﾌｫﾙﾀﾞ ："));
        QVERIFY(label->width() > shortWidth);
        QCOMPARE(right ? label->x() + label->width() : label->x(), right ? 156 : 100);
        QCOMPARE(label->width(),
                 QFontMetrics(label->font()).horizontalAdvance(label->Caption()) + 1);
    }

    void shadowLabelLook() {
        auto host = std::make_unique<QWidget>();
        host->resize(300, 40);
        QPalette pal = host->palette();
        pal.setColor(QPalette::Window, QColor(160, 160, 160));
        host->setPalette(pal);
        host->setAutoFillBackground(true);
        auto* label = new TShadowLabel(host.get());
        label->setGeometry(6, 5, 10, 11);
        label->setCaption(QStringLiteral("変換元の動画ファイル"));
        auto* off = new TShadowLabel(host.get());
        off->setGeometry(6, 22, 10, 11);
        off->setCaption(QStringLiteral("ﾌｫﾙﾀﾞ ："));
        off->setEnabled(false);
        QVERIFY(qvtest::showExposed(host.get()));
        QVERIFY(qvtest::saveScreenshot(host->grab().toImage(), QStringLiteral("widget-label.png")));

        const QImage img = paintOf(label);
        // Where the white text lies shows when it is painted black too: the painted area
        // is exactly that and its copy 1 px right and down.
        label->setTextColor(Qt::black);
        const QImage dark = paintOf(label);
        QRect text;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != dark.pixel(x, y)) text |= QRect(x, y, 1, 1);
        QVERIFY(!text.isEmpty());
        QCOMPARE(inkBox(
                     dark, [](QRgb) { return true; }, 0),
                 text.united(text.translated(1, 1)).intersected(dark.rect()));
        // No background.
        QCOMPARE(qAlpha(img.pixel(img.width() - 1, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(0, img.height() - 1)), 0);

        const QImage disabled = paintOf(off);
        // Disabled: greys only, neither the white text nor the black shadow.
        QVERIFY(!inkBox(
                     disabled, [](QRgb) { return true; }, 100)
                     .isEmpty());
        QVERIFY(inkBox(disabled, [](QRgb c) { return qGray(c) > 230 || qGray(c) < 60; }).isEmpty());
    }

    void titleReadsBottomToTop() {
        auto host = std::make_unique<QWidget>();
        host->resize(40, 130);
        auto* back = new TGradBox(host.get());
        back->setGeometry(0, 0, 40, 130);
        auto* title = new TdxfLabel(host.get());
        title->setGeometry(2, 12, 20, 110);
        title->setCaption(QStringLiteral("変換対象ﾌｧｲﾙ"));
        const QColor pink(255, 196, 255);
        title->setTitleColor(pink);
        QVERIFY(qvtest::showExposed(host.get()));
        QVERIFY(qvtest::saveScreenshot(host->grab().toImage(), QStringLiteral("widget-title.png")));

        const QImage img = paintOf(title);
        const QRect ink = inkBox(img, [&](QRgb c) { return c == pink.rgb(); });
        QVERIFY(!ink.isEmpty());
        QVERIFY2(ink.height() > 3 * ink.width(), "the text runs along the height");
        // The shadow lies to the lower right of the title colour.
        const QRect all = inkBox(img, [](QRgb) { return true; });
        QVERIFY(all.right() - ink.right() >= 2 && all.right() - ink.right() <= 3);
        QVERIFY(all.bottom() - ink.bottom() >= 2 && all.bottom() - ink.bottom() <= 3);
        // Read bottom to top: the first character's full-width ink sits at the bottom,
        // the half-width end at the top, so the ink is wider toward the bottom.
        auto rowWidth = [&](int from, int to) {
            return inkBox(img.copy(0, from, img.width(), to - from),
                          [&](QRgb c) { return c == pink.rgb(); })
                .width();
        };
        QVERIFY(rowWidth(ink.bottom() - 12, ink.bottom()) >= rowWidth(ink.top(), ink.top() + 12));
    }

    void gradientEnds_data() {
        QTest::addColumn<TGradBox::Direction>("direction");
        QTest::addColumn<QPoint>("lightAt");
        QTest::addColumn<QPoint>("darkAt");
        QTest::newRow("top to bottom")
            << TGradBox::Direction::TopToBottom << QPoint(50, 1) << QPoint(50, 256);
        QTest::newRow("left to right")
            << TGradBox::Direction::LeftToRight << QPoint(1, 50) << QPoint(256, 50);
        QTest::newRow("bottom to top")
            << TGradBox::Direction::BottomToTop << QPoint(50, 256) << QPoint(50, 1);
    }
    void gradientEnds() {
        QFETCH(TGradBox::Direction, direction);
        QFETCH(QPoint, lightAt);
        QFETCH(QPoint, darkAt);
        TGradBox box;
        box.setDirection(direction);
        box.resize(258, 258);
        const QImage img = box.grab().toImage();
        if (direction == TGradBox::Direction::TopToBottom)
            QVERIFY(qvtest::saveScreenshot(img.copy(0, 0, 100, 258),
                                           QStringLiteral("widget-gradient.png")));
        QVERIFY(near(img.pixel(lightAt), 180, 1));
        QVERIFY(near(img.pixel(darkAt), 128, 1));
        // The middle lies between, and the outline is black all round.
        QVERIFY(near(img.pixel(129, 129), 154, 2));
        for (QPoint p : {QPoint(0, 0), QPoint(257, 257), QPoint(129, 0), QPoint(0, 129),
                         QPoint(257, 129), QPoint(129, 257)})
            QCOMPARE(img.pixel(p), qRgb(0, 0, 0));
    }

    void bevelIsSunken() {
        TBevel bevel;
        bevel.resize(60, 30);
        const QImage img = paintOf(&bevel);
        // Dark line outside a light one at the top and left; light outermost at the right and
        // bottom.
        QVERIFY(qGray(img.pixel(10, 0)) < 160);
        QVERIFY(qGray(img.pixel(10, 1)) > 240);
        QVERIFY(qGray(img.pixel(10, 29)) > 240);
        QVERIFY(qGray(img.pixel(59, 10)) > 240);
        QCOMPARE(qAlpha(img.pixel(30, 15)), 0);  // the inside is not painted
    }

    // --- hint balloon ---

    void balloonLook() {
        THintBalloon balloon;
        balloon.setText(QStringLiteral(" 変換処理の実行"));
        const QFontMetrics fm(qv::ui::uiFont(16));
        QVERIFY(balloon.width() >= fm.horizontalAdvance(balloon.text()) + 2);
        QVERIFY(balloon.height() >= fm.height() + 2);
        QVERIFY(qvtest::showExposed(&balloon));
        const QImage img = balloon.grab().toImage();
        QVERIFY(qvtest::saveScreenshot(img, QStringLiteral("widget-balloon.png")));
        const int w = balloon.width();
        const int h = balloon.height();
        // Rounded corners are cut off; edges and the inside are there.
        QVERIFY(!balloon.mask().contains(QPoint(0, 0)));
        QVERIFY(!balloon.mask().contains(QPoint(w - 1, h - 1)));
        QVERIFY(balloon.mask().contains(QPoint(w / 2, 0)));
        QCOMPARE(img.pixel(w / 2, 0), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(0, h / 2), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(w - 2, h / 2), qRgb(85, 85, 85));
        // White text over its (79, 79, 79) shadow.
        const QRect white = inkBox(img, [](QRgb c) { return c == qRgb(255, 255, 255); });
        QVERIFY(!white.isEmpty());
        QVERIFY(!inkBox(img, [](QRgb c) { return c == qRgb(79, 79, 79); }).isEmpty());
        QVERIFY(white.left() >= 1 && white.top() >= 1);
    }

    void balloonGrowsWithText() {
        THintBalloon balloon;
        balloon.setText(QStringLiteral(" 最小化"));
        const QSize small = balloon.size();
        balloon.setText(QStringLiteral(" プレビュー(30秒)変換処理の実行"));
        QVERIFY(balloon.width() > small.width());
        QCOMPARE(balloon.height(), small.height());
    }
};

QTEST_MAIN(WidgetsMiscTest)
#include "widgets_misc_test.moc"
