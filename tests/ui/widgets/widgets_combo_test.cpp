#include <QLineEdit>
#include <QPixmap>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "support/screen.h"
#include "ui/widgets/TMultiColComboBox.h"

namespace {

const QColor kLightGrey(240, 240, 240);
const QColor kPink(255, 196, 255);

// True when every pixel of the area has the colour.
bool uniform(const QImage& image, const QRect& area, const QColor& colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).rgb() != colour.rgb()) return false;
    return true;
}

}  // namespace

class WidgetsComboTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> host_;
    TMultiColComboBox* box_ = nullptr;
    QLineEdit* other_ = nullptr;  // somewhere else for the focus

    void makeBox(int boxWidth, std::vector<TMultiColComboBox::Column> columns,
                 const QStringList& rows) {
        host_ = std::make_unique<QWidget>();
        host_->resize(500, 120);
        box_ = new TMultiColComboBox(host_.get());
        box_->setGeometry(10, 10, boxWidth, 19);
        box_->setColumns(std::move(columns));
        for (const QString& r : rows) box_->addItem(r.toStdString());
        other_ = new QLineEdit(host_.get());
        other_->setGeometry(10, 60, 80, 19);
        // Start with the focus elsewhere: a focused box draws and steps differently.
        QVERIFY(qvtest::showActive(host_.get()));
        other_->setFocus();
        QTRY_VERIFY(other_->hasFocus());
    }

    void makeTwoColumnBox(const QStringList& rows) {
        makeBox(142, {{122, Qt::white}, {160, kLightGrey}}, rows);
    }

    QWidget* openByClick() {
        QTest::mouseClick(box_, Qt::LeftButton, {}, QPoint(20, 9));
        QWidget* popup = box_->popup();
        if (popup && !QTest::qWaitForWindowExposed(popup)) return nullptr;
        return popup;
    }

  private slots:
    void cleanup() {
        host_.reset();
        box_ = nullptr;
    }

    void selectedText_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("expected");
        QTest::newRow("value column") << "mp4,MPEG-4 (.mp4)" << 0 << "mp4";
        QTest::newRow("label column") << "mp4,MPEG-4 (.mp4)" << 1 << "MPEG-4";
        QTest::newRow("blank splits a column") << "320x240 QVGA" << 0 << "320x240";
        QTest::newRow("after the blank") << "320x240 QVGA" << 1 << "QVGA";
        QTest::newRow("quoted keeps blanks and commas") << "\"a b,c\",d" << 0 << "a b,c";
        QTest::newRow("fewer fields than asked") << "only" << 3 << "";
        QTest::newRow("double-byte text") << "自動,ｿｰｽと同じ" << 1 << "ｿｰｽと同じ";
    }
    void selectedText() {
        QFETCH(QString, row);
        QFETCH(int, target);
        QFETCH(QString, expected);
        makeTwoColumnBox({QStringLiteral("first,row"), row});
        box_->setItemIndex(1);
        box_->setTargetColumn(target);
        QCOMPARE(QString::fromStdString(box_->GetSelectedText()), expected);
        // The row itself is kept whole.
        QCOMPARE(QString::fromStdString(box_->item(1)), row);
    }

    void indexOutsideSelectsNone_data() {
        QTest::addColumn<int>("index");
        QTest::newRow("count") << 3;
        QTest::newRow("far beyond") << 99;
        QTest::newRow("minus one") << -1;
        QTest::newRow("minus two") << -2;
    }
    void indexOutsideSelectsNone() {
        QFETCH(int, index);
        makeTwoColumnBox({QStringLiteral("a,1"), QStringLiteral("b,2"), QStringLiteral("c,3")});
        box_->setItemIndex(1);
        QSignalSpy changes(box_, &TMultiColComboBox::OnChange);
        box_->setItemIndex(index);
        QCOMPARE(box_->ItemIndex(), -1);
        QCOMPARE(box_->GetSelectedText(), std::string());
        QCOMPARE(changes.count(), 0);
    }

    void codeWritesNoChangeEvent() {
        makeTwoColumnBox({QStringLiteral("a,1"), QStringLiteral("b,2")});
        QSignalSpy changes(box_, &TMultiColComboBox::OnChange);
        box_->setItemIndex(1);
        box_->setItemIndex(0);
        QCOMPARE(changes.count(), 0);
    }

    void closedBoxDrawsSelectionOnly() {
        makeTwoColumnBox({QStringLiteral("mp4,MPEG-4"), QStringLiteral("avi,AVI")});
        box_->setColor(kPink);
        const QRect textArea(3, 3, 60, 12);
        QImage empty = box_->grab().toImage();
        QVERIFY2(uniform(empty, textArea, kPink), "an empty box shows only its colour");

        box_->setItemIndex(0);
        QImage shown = box_->grab().toImage();
        QVERIFY(qvtest::saveScreenshot(shown, QStringLiteral("widget-combo.png")));
        QVERIFY2(!uniform(shown, textArea, kPink), "the selected field is drawn");
        // The label column is not part of the closed box: only "mp4" is drawn, so the
        // far part of the field stays in the box colour.
        QVERIFY(uniform(shown, QRect(40, 3, 60, 12), kPink));
        QCOMPARE(shown.pixelColor(3, 14).rgb(), kPink.rgb());
    }

    void focusShowsHighlight() {
        makeTwoColumnBox({QStringLiteral("mp4,MPEG-4")});
        box_->setItemIndex(0);
        box_->setFocus();
        QTRY_VERIFY(box_->hasFocus());
        const QColor highlight = box_->palette().color(QPalette::Highlight);
        QImage focused = box_->grab().toImage();
        QCOMPARE(focused.pixelColor(60, 9).rgb(), highlight.rgb());
        other_->setFocus();
        QTRY_VERIFY(!box_->hasFocus());
        QImage unfocused = box_->grab().toImage();
        QCOMPARE(unfocused.pixelColor(60, 9).rgb(), QColor(Qt::white).rgb());
    }

    void popupSize_data() {
        QTest::addColumn<int>("boxWidth");
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("expectedWidth");
        QTest::addColumn<int>("expectedHeight");
        QTest::newRow("columns wider than the box")
            << 142 << QList<int>{122, 160} << 3 << 282 << 39;
        QTest::newRow("columns narrower than the box")
            << 200 << QList<int>{60, 40} << 1 << 200 << 13;
        QTest::newRow("ten columns over a wide box")
            << 340 << QList<int>{180, 60, 60, 70, 60, 60, 60, 60, 60, 60} << 30 << 730 << 390;
        QTest::newRow("more than thirty rows") << 132 << QList<int>{112, 110} << 45 << 222 << 390;
    }
    void popupSize() {
        QFETCH(int, boxWidth);
        QFETCH(QList<int>, widths);
        QFETCH(int, rows);
        QFETCH(int, expectedWidth);
        QFETCH(int, expectedHeight);
        std::vector<TMultiColComboBox::Column> columns;
        for (int w : widths) columns.push_back({w, Qt::white});
        QStringList items;
        for (int i = 0; i < rows; ++i) items << QStringLiteral("r%1,x").arg(i);
        makeBox(boxWidth, columns, items);
        QWidget* popup = openByClick();
        QVERIFY(popup);
        QVERIFY(box_->popupVisible());
        QVERIFY(popup->isWindow());
        QCOMPARE(popup->width(), expectedWidth);
        QCOMPARE(popup->height(), expectedHeight);
        QCOMPARE(box_->popupWidth(), expectedWidth);
    }

    void mousePickFiresOnce() {
        makeTwoColumnBox({QStringLiteral("a,1"), QStringLiteral("b,2"), QStringLiteral("c,3")});
        QSignalSpy changes(box_, &TMultiColComboBox::OnChange);
        QWidget* popup = openByClick();
        QVERIFY(popup);
        QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(30, 2 * 13 + 6));
        QCOMPARE(box_->ItemIndex(), 2);
        QCOMPARE(changes.count(), 1);
        QTRY_VERIFY(!box_->popupVisible());
        QCOMPARE(box_->GetSelectedText(), std::string("c"));
    }

    void popupKeys_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("emitted");
        QTest::newRow("down twice, enter")
            << 0 << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << 2 << 1;
        QTest::newRow("escape keeps the row")
            << 0 << QList<int>{Qt::Key_Down, Qt::Key_Escape} << 0 << 0;
        QTest::newRow("from none, down picks the first")
            << -1 << QList<int>{Qt::Key_Down, Qt::Key_Enter} << 0 << 1;
        QTest::newRow("up stops at the top")
            << 1 << QList<int>{Qt::Key_Up, Qt::Key_Up, Qt::Key_Return} << 0 << 1;
        QTest::newRow("end reaches the last row beyond the visible ones")
            << 0 << QList<int>{Qt::Key_End, Qt::Key_Return} << 39 << 1;
        QTest::newRow("down past the visible rows")
            << 28 << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << 31
            << 1;
    }
    void popupKeys() {
        QFETCH(int, start);
        QFETCH(QList<int>, keys);
        QFETCH(int, expected);
        QFETCH(int, emitted);
        QStringList rows;
        for (int i = 0; i < 40; ++i) rows << QStringLiteral("row%1,label").arg(i);
        makeTwoColumnBox(rows);
        box_->setItemIndex(start);
        QSignalSpy changes(box_, &TMultiColComboBox::OnChange);
        QWidget* popup = openByClick();
        QVERIFY(popup);
        for (int k : keys) QTest::keyClick(popup, static_cast<Qt::Key>(k));
        QTRY_VERIFY(!box_->popupVisible());
        QCOMPARE(box_->ItemIndex(), expected);
        QCOMPARE(changes.count(), emitted);
    }

    void closedBoxKeys_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("emitted");
        QTest::newRow("down") << 0 << int(Qt::Key_Down) << 1 << 1;
        QTest::newRow("up") << 2 << int(Qt::Key_Up) << 1 << 1;
        QTest::newRow("down at the last row") << 2 << int(Qt::Key_Down) << 2 << 0;
        QTest::newRow("up at the first row") << 0 << int(Qt::Key_Up) << 0 << 0;
        QTest::newRow("down from none") << -1 << int(Qt::Key_Down) << 0 << 1;
    }
    void closedBoxKeys() {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, expected);
        QFETCH(int, emitted);
        makeTwoColumnBox({QStringLiteral("a,1"), QStringLiteral("b,2"), QStringLiteral("c,3")});
        box_->setItemIndex(start);
        QSignalSpy changes(box_, &TMultiColComboBox::OnChange);
        QTest::keyClick(box_, static_cast<Qt::Key>(key));
        QCOMPARE(box_->ItemIndex(), expected);
        QCOMPARE(changes.count(), emitted);
        QVERIFY(!box_->popupVisible());
    }

    void wheelOnFocusedBoxPicks() {
        makeTwoColumnBox({QStringLiteral("a,1"), QStringLiteral("b,2"), QStringLiteral("c,3")});
        box_->setItemIndex(0);
        QSignalSpy changes(box_, &TMultiColComboBox::OnChange);
        auto turn = [&](int delta) {
            QWheelEvent e(QPointF(20, 9), box_->mapToGlobal(QPointF(20, 9)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box_, &e);
        };
        turn(-120);  // unfocused: scrolling past the box changes nothing
        QCOMPARE(box_->ItemIndex(), 0);
        box_->setFocus();
        QTRY_VERIFY(box_->hasFocus());
        turn(-120);
        QCOMPARE(box_->ItemIndex(), 1);
        QCOMPARE(changes.count(), 1);
    }

    void openListDrawing() {
        // Box wider than its columns, so the rest of each row shows.
        makeBox(300, {{100, Qt::white}, {100, kLightGrey}},
                {QStringLiteral("自動,ｿｰｽと同じ,余分な列"), QStringLiteral("mp4"),
                 QStringLiteral("avi,AVI (DivX/Xvid)"), QStringLiteral("wmv,WMV (Windows Media)")});
        box_->setItemIndex(2);
        QWidget* popup = openByClick();
        QVERIFY(popup);
        QImage img = popup->grab().toImage();
        QVERIFY(qvtest::saveScreenshot(img, QStringLiteral("widget-combo-open.png")));
        QCOMPARE(img.width(), 300);
        // Row 0: a third field has no column; the rest of the row is the last column's
        // colour and shows nothing.
        QVERIFY(uniform(img, QRect(200, 0, 100, 13), kLightGrey));
        QVERIFY(!uniform(img, QRect(101, 0, 20, 13), kLightGrey));      // field 1 drawn
        QCOMPARE(img.pixelColor(0, 0).rgb(), QColor(Qt::white).rgb());  // text starts 1 px in
        // Row 1 has one field: its second column stays empty in its colour.
        QVERIFY(uniform(img, QRect(100, 13, 200, 13), kLightGrey));
        QVERIFY(!uniform(img, QRect(1, 13, 20, 13), Qt::white));
        // Row 2 is the selected one: highlight across all columns and the rest.
        const QColor highlight = popup->palette().color(QPalette::Highlight);
        QCOMPARE(img.pixelColor(95, 26).rgb(), highlight.rgb());
        QCOMPARE(img.pixelColor(197, 26).rgb(), highlight.rgb());
        QCOMPARE(img.pixelColor(290, 37).rgb(), highlight.rgb());
    }
};

QTEST_MAIN(WidgetsComboTest)
#include "widgets_combo_test.moc"
