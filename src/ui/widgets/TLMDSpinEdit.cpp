#include "ui/widgets/TLMDSpinEdit.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QValidator>
#include <QWheelEvent>
#include <algorithm>

#include "ui/widgets/beep.h"
#include "ui/widgets/fonts.h"
#include "ui/widgets/input_steps.h"

namespace {

constexpr int kArrowWidth = 15;

bool allowedChar(QChar c) { return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-'; }

// A last guard for edits that bypass the keys (drops, input methods): digits and signs only.
class SpinValidator : public QValidator {
  public:
    explicit SpinValidator(QObject* parent) : QValidator(parent) {}
    State validate(QString& input, int&) const override {
        for (QChar c : input) {
            if (!allowedChar(c)) return Invalid;
        }
        return Acceptable;
    }
};

}  // namespace

TLMDSpinEdit::TLMDSpinEdit(QWidget* parent) : QWidget(parent) {
    edit_ = new QLineEdit(this);
    edit_->setText(QStringLiteral("0"));
    edit_->setValidator(new SpinValidator(edit_));
    edit_->setAcceptDrops(false);
    edit_->setFont(qv::ui::uiFont(11));
    edit_->setContextMenuPolicy(Qt::NoContextMenu);
    edit_->installEventFilter(this);
    setFocusProxy(edit_);
    setFocusPolicy(Qt::StrongFocus);

    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    for (QToolButton* b : {up_, down_}) {
        b->setArrowType(b == up_ ? Qt::UpArrow : Qt::DownArrow);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->installEventFilter(this);
    }
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    connect(edit_, &QLineEdit::textChanged, this, [this] { emit OnChange(); });
    setColor(Qt::white);
    resize(50, 19);
}

QString TLMDSpinEdit::text() const { return edit_->text(); }

void TLMDSpinEdit::setText(const QString& text) {
    if (edit_->text() == text) return;
    edit_->setText(text);
}

int TLMDSpinEdit::Value() {
    bool ok = false;
    const int v = edit_->text().toInt(&ok);
    if (!ok) {
        setText(QString::number(min_));
        return min_;
    }
    return v;
}

void TLMDSpinEdit::setValue(int value) {
    setText(QString::number(std::clamp(value, min_, std::max(min_, max_))));
}

void TLMDSpinEdit::setRange(int minValue, int maxValue) {
    if (minValue == min_ && maxValue == max_) return;
    min_ = minValue;
    max_ = std::max(minValue, maxValue);
    bool ok = false;
    const int v = edit_->text().toInt(&ok);
    if (ok && (v < min_ || v > max_)) setValue(v);
}

int TLMDSpinEdit::MaxLength() const { return maxLength_; }

void TLMDSpinEdit::setMaxLength(int length) { maxLength_ = std::max(1, length); }

void TLMDSpinEdit::setColor(const QColor& color) {
    if (color == color_ && edit_->palette().color(QPalette::Base) == color) return;
    color_ = color;
    QPalette pal = edit_->palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Text, Qt::black);
    edit_->setPalette(pal);
    update();
}

void TLMDSpinEdit::step(int delta) {
    const long long next = static_cast<long long>(Value()) + delta;
    setValue(static_cast<int>(std::clamp<long long>(next, min_, std::max(min_, max_))));
}

void TLMDSpinEdit::clampOnLeave() {
    bool ok = false;
    const int v = edit_->text().toInt(&ok);
    if (ok && (v < min_ || v > max_)) setValue(v);
}

void TLMDSpinEdit::insertTyped(const QString& typed, bool pasted) {
    for (QChar c : typed) {
        if (!allowedChar(c)) {
            qv::ui::widgets::beep();
            return;
        }
    }
    // Typing may not make the text longer than the limit; a longer text written by
    // stepping stays as it is and can still be shortened.
    const qsizetype room = maxLength_ - (edit_->text().size() - edit_->selectedText().size());
    if (room <= 0) return;
    if (typed.size() > room && !pasted) return;
    edit_->insert(typed.left(room));
}

void TLMDSpinEdit::resizeEvent(QResizeEvent*) {
    const int w = width();
    const int h = height();
    const int arrows = std::min(kArrowWidth, w / 2);
    edit_->setGeometry(0, 0, w - arrows, h);
    up_->setGeometry(w - arrows, 0, arrows, h / 2);
    down_->setGeometry(w - arrows, h / 2, arrows, h - h / 2);
}

void TLMDSpinEdit::wheel(QWheelEvent* event) {
    if (!isEnabled()) return;
    wheelRest_ += event->angleDelta().y();
    const int steps = wheelRest_ / qv::ui::kWheelNotch;
    wheelRest_ -= steps * qv::ui::kWheelNotch;
    if (steps != 0) step(steps);
    event->accept();
}

void TLMDSpinEdit::wheelEvent(QWheelEvent* event) { wheel(event); }

bool TLMDSpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        wheel(static_cast<QWheelEvent*>(event));
        return true;
    }
    if (watched != edit_) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        clampOnLeave();
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Up:
                step(1);
                return true;
            case Qt::Key_Down:
                step(-1);
                return true;
            case Qt::Key_PageUp:
                step(qv::ui::kPageStep);
                return true;
            case Qt::Key_PageDown:
                step(-qv::ui::kPageStep);
                return true;
            default:
                break;
        }
        if (key->matches(QKeySequence::Paste)) {
            insertTyped(QGuiApplication::clipboard()->text(), true);
            return true;
        }
        const QString typed = key->text();
        const bool command =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!command && !typed.isEmpty() && typed.at(0).isPrint()) {
            insertTyped(typed, false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
