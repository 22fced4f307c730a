#include "ui/progress/progress_form.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "run/batch_rules.h"
#include "run/batch_time_left.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TGradBox.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TShape.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfProgressBar.h"
#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"

namespace {
QString sizeText(std::int64_t bytes) {
    return QString::number(bytes / 1000) + QStringLiteral("KB");
}
}  // namespace

TProgressForm1::TProgressForm1(QWidget* owner, const RunFields& run)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      owner_(owner),
      run_(run) {
    setWindowTitle(qv::ui::kAppTitle);
    setFixedSize(401, 72);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, qv::ui::colour(qv::palette::kLightGrey));
    setPalette(pal);
    setFont(qv::ui::uiFont(12));

    // Bottom to top of the painting order.
    ProgressBar1 = new TdxfProgressBar(this);
    ProgressBar1->setGeometry(92, 48, 300, 15);
    ProgressBar1->setMin(0);
    ProgressBar1->setMax(10);
    ProgressBar1->setPosition(0);

    GradBox6 = new TGradBox(this);
    GradBox6->setGeometry(0, 0, 401, 72);
    GradBox6->setColors(QColor(0xB4, 0xB4, 0xB4), QColor(0x80, 0x80, 0x80));
    GradBox6->setDirection(TGradBox::Direction::BottomToTop);
    GradBox6->setOutline(true);

    Label1 = new TShadowLabel(this);
    Label1->setFont(qv::ui::uiFont(12));
    Label1->setGeometry(96, 18, 0, 14);
    Label1->setCaption(QStringLiteral("***.*** -> ***.***"));

    Shape1 = new TShape(this);
    Shape1->setGeometry(5, 5, 82, 62);
    Shape1->setColors(Qt::black, Qt::white);

    CButton1 = new TdxfColorButton(this);
    CButton1->setGeometry(322, 4, 76, 16);
    CButton1->setCaption({QStringLiteral("ｷｬﾝｾﾙ")});
    CButton1->setToolTip(QStringLiteral(" キャンセル（Shift+クリックで残りの変換もすべて中止）"));
    CButton1->setColor(Qt::white);
    CButton1->setTextColor(QColor(0x4D, 0x4D, 0x4D));
    CButton1->setCursor(Qt::PointingHandCursor);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    Label2 = new TShadowLabel(this);
    Label2->setFont(qv::ui::uiFont(12));
    Label2->setGeometry(96, 32, 0, 14);
    Label2->setCaption(QStringLiteral("0KB -> 0KB"));

    Image1 = new TImage(this);
    Image1->setGeometry(6, 6, 80, 60);

    // The gradient is the background: everything else sits above it.
    GradBox6->lower();
    ProgressBar1->raise();
    CButton1->raise();

    CButton1->installEventFilter(this);
    connect(CButton1, &TdxfColorButton::OnClick, this, [this] {
        if (clickModifiers_ & Qt::ShiftModifier)
            askStopAll();
        else
            CButton1Click();
    });
    connect(Timer1, &QTimer::timeout, this, &TProgressForm1::Timer1Timer);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }
}

void TProgressForm1::showEvent(QShowEvent* event) {
    // Keeps it with its owner in the window manager's stacking, without being its child.
    if (owner_ && windowHandle() && owner_->window()->windowHandle())
        windowHandle()->setTransientParent(owner_->window()->windowHandle());
    QWidget::showEvent(event);
}

void TProgressForm1::setLineCount(int lines) {
    if (lines < 1) lines = 1;
    while (lineCount() < lines) {
        const int line = lineCount();
        const int top = 72 + (line - 1) * kLineHeight;
        Line l{};
        l.name = new TShadowLabel(this);
        l.name->setFont(qv::ui::uiFont(12));
        l.name->setGeometry(96, top + 4, 0, 14);
        l.size = new TShadowLabel(this);
        l.size->setFont(qv::ui::uiFont(12));
        l.size->setGeometry(96, top + 18, 0, 14);
        l.bar = new TdxfProgressBar(this);
        l.bar->setGeometry(92, top + 34, 300, 15);
        l.bar->setMin(0);
        l.bar->setMax(10);
        l.bar->setPosition(0);
        l.cancel = new TdxfColorButton(this);
        l.cancel->setGeometry(322, top + 2, 76, 16);
        l.cancel->setCaption({QStringLiteral("ｷｬﾝｾﾙ")});
        l.cancel->setToolTip(CButton1->toolTip());
        l.cancel->setColor(Qt::white);
        l.cancel->setTextColor(QColor(0x4D, 0x4D, 0x4D));
        l.cancel->setCursor(Qt::PointingHandCursor);
        connect(l.cancel, &TdxfColorButton::OnClick, this, [this, line] { cancelLine(line); });
        for (QWidget* w : {static_cast<QWidget*>(l.name), static_cast<QWidget*>(l.size),
                           static_cast<QWidget*>(l.bar), static_cast<QWidget*>(l.cancel)})
            w->show();
        l.bar->raise();
        l.cancel->raise();
        extra_.push_back(l);
    }
    const int height = 72 + (lineCount() - 1) * kLineHeight;
    setFixedSize(401, height);
    GradBox6->setGeometry(0, 0, 401, height);
}

TShadowLabel* TProgressForm1::nameLabel(int line) const {
    return line <= 0 ? Label1 : extra_.at(static_cast<std::size_t>(line - 1)).name;
}
TShadowLabel* TProgressForm1::sizeLabel(int line) const {
    return line <= 0 ? Label2 : extra_.at(static_cast<std::size_t>(line - 1)).size;
}
TdxfProgressBar* TProgressForm1::lineBar(int line) const {
    return line <= 0 ? ProgressBar1 : extra_.at(static_cast<std::size_t>(line - 1)).bar;
}
TdxfColorButton* TProgressForm1::cancelButton(int line) const {
    return line <= 0 ? CButton1 : extra_.at(static_cast<std::size_t>(line - 1)).cancel;
}

void TProgressForm1::setLinePaths(int line, std::string source, std::string dest) {
    if (line <= 0 || line > static_cast<int>(extra_.size())) return;
    Line& l = extra_[static_cast<std::size_t>(line - 1)];
    l.source = std::move(source);
    l.dest = std::move(dest);
}

void TProgressForm1::Timer1Timer() {
    for (Line& l : extra_) {
        if (l.source.empty()) continue;
        l.size->setCaption(sizeText(qv::fileSizeOf(l.source)) + QStringLiteral(" -> ") +
                           sizeText(qv::fileSizeOf(l.dest)));
    }
    try {
        const std::int64_t source =
            qv::fileSizeOf(run_.SourcePath ? *run_.SourcePath : std::string());
        const std::int64_t dest = qv::fileSizeOf(run_.DestPath ? *run_.DestPath : std::string());
        SourceSize = source;
        DestSize = dest;
        QString text = sizeText(source) + QStringLiteral(" -> ") + sizeText(dest);
        if (timeLeft_)
            if (const std::optional<double> left = timeLeft_())
                text += QStringLiteral(" 残り ") + QString::fromStdString(qv::timeLeftText(*left));
        Label2->setCaption(text);
    } catch (...) {
        // A tick that fails keeps the previous line.
    }
}

void TProgressForm1::CButton1Click() { cancelLine(0); }

void TProgressForm1::cancelLine(int line) {
    if (cancelJob_) {
        if (cancelJob_(line)) {
            Cancelled = true;
            return;
        }
        qv::ui::beep();
        qv::ui::showMessage(QStringLiteral("変換を中止できませんでした。"));
        return;
    }
    const int pid = run_.ProcessInfo ? run_.ProcessInfo->pid() : -1;
    if (pid > 0 && qv::stopProcessById(pid)) {
        Cancelled = true;
        return;
    }
    qv::ui::beep();
    qv::ui::showMessage(QStringLiteral("変換を中止できませんでした。"));
}

void TProgressForm1::askStopAll() {
    if (StopAll) return;
    if (!qv::ui::askYesNo(QStringLiteral("残りの変換もすべて中止しますか？"),
                          QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")))
        return;
    stopAll();
}

void TProgressForm1::stopAll() {
    if (StopAll) return;
    StopAll = true;
    if (stopBatch_) {
        stopBatch_();
        Cancelled = true;
        return;
    }
    // Between passes there is nothing to stop; the run sees StopAll before the next one.
    const int pid = run_.ProcessInfo ? run_.ProcessInfo->pid() : -1;
    if (pid > 0 && qv::stopProcessById(pid)) Cancelled = true;
}

void TProgressForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        askStopAll();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TProgressForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CButton1 && event->type() == QEvent::MouseButtonRelease)
        clickModifiers_ = static_cast<QMouseEvent*>(event)->modifiers();
    return QWidget::eventFilter(watched, event);
}

bool TProgressForm1::dragsWindow(const QPoint& pos) const {
    const QWidget* hit = childAt(pos);
    for (const QWidget* w = hit; w && w != this; w = w->parentWidget()) {
        if (w == ProgressBar1 || w == CButton1) return false;
        for (const Line& l : extra_)
            if (w == l.bar || w == l.cancel) return false;
    }
    return true;
}

void TProgressForm1::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragsWindow(event->position().toPoint())) {
        drag_.begin(*event, false);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TProgressForm1::mouseMoveEvent(QMouseEvent* event) {
    if (drag_.follow(*event)) {
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TProgressForm1::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_.end(*event)) {
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
