#include "ui/widgets/TMultiColComboBox.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "settings/column_split.h"
#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"
#include "ui/widgets/input_steps.h"

namespace {
constexpr int kRowHeight = 13;
constexpr int kMaxVisibleRows = 30;
constexpr int kIndent = 1;       // column edge to its text
constexpr int kTextOffset = 2;   // closed box: inner corner to the text
constexpr int kArrowWidth = 15;  // closed box: the drop-down arrow at the right end
const QColor kTextColor = qv::ui::colour(qv::palette::kControlText);
const QColor kDisabledText = qv::ui::colour(qv::palette::kDisabledText);
}  // namespace

// The opened list: a top-level pop-up over the other windows.
class MultiColPopup : public QWidget {
  public:
    explicit MultiColPopup(TMultiColComboBox* box) : QWidget(box, Qt::Popup), box_(box) {
        // A click outside only closes the list; it does not also reach the widget below.
        setAttribute(Qt::WA_NoMouseReplay);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        bar_ = new QScrollBar(Qt::Vertical, this);
        bar_->setFocusPolicy(Qt::NoFocus);
        connect(bar_, &QScrollBar::valueChanged, this, [this] { update(); });
    }

    int current() const { return current_; }
    int top() const { return bar_->value(); }
    int visibleRows() const { return std::min(box_->count(), kMaxVisibleRows); }
    int rowsWidth() const { return width() - (bar_->isVisible() ? bar_->width() : 0); }

    void open() {
        const int rows = std::max(1, visibleRows());
        const int w = box_->popupWidth();
        const int h = rows * kRowHeight;
        const bool scrolls = box_->count() > kMaxVisibleRows;
        bar_->setRange(0, std::max(0, box_->count() - kMaxVisibleRows));
        bar_->setPageStep(kMaxVisibleRows);
        bar_->setVisible(scrolls);
        const int barWidth = bar_->sizeHint().width();
        bar_->setGeometry(w - barWidth, 0, barWidth, h);
        current_ = box_->ItemIndex();
        ensureVisible(current_);

        // Below the box, or above it when the screen has no room below.
        QPoint at = box_->mapToGlobal(QPoint(0, box_->height()));
        if (const QScreen* screen = box_->screen()) {
            const QRect avail = screen->availableGeometry();
            if (at.y() + h > avail.bottom() + 1) {
                const QPoint above = box_->mapToGlobal(QPoint(0, -h));
                if (above.y() >= avail.top()) at = above;
            }
        }
        setGeometry(QRect(at, QSize(w, h)));
        show();
        setFocus(Qt::PopupFocusReason);
    }

    void rowsChanged() {
        if (isVisible()) open();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int rowsW = rowsWidth();
        const auto& columns = box_->columns();
        const QFont font = box_->font();
        p.setFont(font);
        if (box_->count() == 0) {
            p.fillRect(QRect(0, 0, rowsW, height()),
                       columns.empty() ? box_->Color() : columns.front().Color);
            return;
        }
        const QPalette& pal = palette();
        for (int r = 0; r < visibleRows(); ++r) {
            const int index = top() + r;
            if (index >= box_->count()) break;
            const QRect row(0, r * kRowHeight, rowsW, kRowHeight);
            const bool selected = index == current_;
            const std::vector<std::string> fields = qv::splitColumns(box_->item(index));
            int x = 0;
            for (size_t c = 0; c < columns.size() && x < row.right() + 1; ++c) {
                const int cw = std::min(columns[c].Width, row.right() + 1 - x);
                const QRect cell(x, row.top(), std::max(0, cw), row.height());
                p.fillRect(cell, selected ? pal.color(QPalette::Highlight) : columns[c].Color);
                if (c < fields.size()) {
                    p.setPen(selected ? pal.color(QPalette::HighlightedText) : kTextColor);
                    p.save();
                    p.setClipRect(cell);
                    p.drawText(cell.adjusted(kIndent, 0, 0, 0),
                               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                               QString::fromStdString(fields[c]));
                    p.restore();
                }
                x += std::max(0, columns[c].Width);
            }
            if (x < row.right() + 1) {
                const QColor rest = selected
                                        ? pal.color(QPalette::Highlight)
                                        : (columns.empty() ? box_->Color() : columns.back().Color);
                p.fillRect(QRect(x, row.top(), row.right() + 1 - x, row.height()), rest);
            }
        }
        // Below the last row (a list shorter than one row), keep the list's colour.
        const int used = std::min(visibleRows(), box_->count() - top()) * kRowHeight;
        if (used < height() && !columns.empty())
            p.fillRect(QRect(0, used, rowsW, height() - used), columns.front().Color);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const int index = rowAt(event->position().toPoint());
        if (index >= 0 && index != current_) {
            current_ = index;
            update();
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        const QPoint pos = event->position().toPoint();
        if (!rect().contains(pos)) {
            close();
            return;
        }
        const int index = rowAt(pos);
        if (index < 0) return;
        close();
        box_->pick(index);
    }

    void mousePressEvent(QMouseEvent* event) override {
        // Qt sends presses outside a pop-up to the pop-up itself; they close it.
        if (!rect().contains(event->position().toPoint())) close();
    }

    void wheelEvent(QWheelEvent* event) override {
        const int steps = event->angleDelta().y() / qv::ui::kWheelNotch;
        bar_->setValue(bar_->value() - steps * qv::ui::kRowsPerNotch);
        event->accept();
    }

    void keyPressEvent(QKeyEvent* event) override {
        const int n = box_->count();
        switch (event->key()) {
            case Qt::Key_Escape:
            case Qt::Key_F4:
                close();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter: {
                const int index = current_;
                close();
                if (index >= 0 && index < n) box_->pick(index);
                return;
            }
            case Qt::Key_Up:
                moveTo(current_ < 0 ? 0 : current_ - 1);
                return;
            case Qt::Key_Down:
                moveTo(current_ + 1);
                return;
            case Qt::Key_PageUp:
                moveTo(current_ - (kMaxVisibleRows - 1));
                return;
            case Qt::Key_PageDown:
                moveTo(current_ < 0 ? kMaxVisibleRows - 1 : current_ + kMaxVisibleRows - 1);
                return;
            case Qt::Key_Home:
                moveTo(0);
                return;
            case Qt::Key_End:
                moveTo(n - 1);
                return;
            default:
                event->accept();
                return;
        }
    }

    void hideEvent(QHideEvent*) override { box_->update(); }

  private:
    int rowAt(const QPoint& pos) const {
        if (pos.x() < 0 || pos.x() >= rowsWidth() || pos.y() < 0) return -1;
        const int index = top() + pos.y() / kRowHeight;
        return index < box_->count() ? index : -1;
    }

    void moveTo(int index) {
        const int n = box_->count();
        if (n == 0) return;
        current_ = std::clamp(index, 0, n - 1);
        ensureVisible(current_);
        update();
    }

    void ensureVisible(int index) {
        if (index < 0) return;
        if (index < top())
            bar_->setValue(index);
        else if (index >= top() + kMaxVisibleRows)
            bar_->setValue(index - kMaxVisibleRows + 1);
    }

    TMultiColComboBox* box_;
    QScrollBar* bar_ = nullptr;
    int current_ = -1;  // the highlighted row while the list is open
};

TMultiColComboBox::TMultiColComboBox(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFont(qv::ui::uiFont(11));
    resize(132, 19);
}

void TMultiColComboBox::setColumns(std::vector<Column> columns) {
    const bool same = columns.size() == columns_.size() &&
                      std::equal(columns.begin(), columns.end(), columns_.begin(),
                                 [](const Column& a, const Column& b) {
                                     return a.Width == b.Width && a.Color == b.Color;
                                 });
    if (same) return;
    columns_ = std::move(columns);
    if (popup_ && popup_->isVisible()) static_cast<MultiColPopup*>(popup_)->rowsChanged();
    update();
}

void TMultiColComboBox::addItem(const std::string& row) {
    rows_.push_back(row);
    if (popup_ && popup_->isVisible()) static_cast<MultiColPopup*>(popup_)->rowsChanged();
}

void TMultiColComboBox::truncateItems(int count) {
    if (count < 0 || count >= this->count()) return;
    rows_.resize(static_cast<size_t>(count));
    if (itemIndex_ >= count) itemIndex_ = -1;
    if (popup_ && popup_->isVisible()) static_cast<MultiColPopup*>(popup_)->rowsChanged();
    update();
}

void TMultiColComboBox::setItemIndex(int index) {
    if (index < 0 || index >= count()) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    update();
}

void TMultiColComboBox::setTargetColumn(int column) {
    if (column == targetColumn_) return;
    targetColumn_ = column;
    update();
}

std::string TMultiColComboBox::GetSelectedText() const {
    if (itemIndex_ < 0 || itemIndex_ >= count()) return {};
    return qv::columnOf(rows_[static_cast<size_t>(itemIndex_)], targetColumn_);
}

void TMultiColComboBox::setColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

int TMultiColComboBox::popupWidth() const {
    int sum = 0;
    for (const Column& c : columns_) sum += std::max(0, c.Width);
    return std::max(sum, width());
}

void TMultiColComboBox::showPopup() {
    if (!isEnabled()) return;
    if (!popup_) popup_ = new MultiColPopup(this);
    static_cast<MultiColPopup*>(popup_)->open();
    update();
}

void TMultiColComboBox::hidePopup() {
    if (popup_) popup_->close();
}

bool TMultiColComboBox::popupVisible() const { return popup_ && popup_->isVisible(); }

QWidget* TMultiColComboBox::popup() const { return popup_; }

void TMultiColComboBox::pick(int index) {
    if (index < 0 || index >= count()) return;
    itemIndex_ = index;
    update();
    emit OnChange();
}

void TMultiColComboBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const bool focused = hasFocus() && !popupVisible();
    const QPalette& pal = palette();

    // Sunken frame around a white field, the arrow at the right end.
    p.fillRect(r, qv::ui::colour(qv::palette::kMidGrey));
    const QRect inner = r.adjusted(1, 1, -1, -1);
    p.fillRect(inner, color_);
    const int arrowW = std::min(kArrowWidth, inner.width() / 2);
    const QRect arrow(inner.right() + 1 - arrowW, inner.top(), arrowW, inner.height());
    const QRect field(inner.left(), inner.top(), inner.width() - arrowW, inner.height());
    if (focused) p.fillRect(field.adjusted(1, 1, -1, -1), pal.color(QPalette::Highlight));

    const std::string selected = GetSelectedText();
    if (!selected.empty()) {
        p.setFont(font());
        p.setPen(focused ? pal.color(QPalette::HighlightedText) : kTextColor);
        p.save();
        p.setClipRect(field);
        p.drawText(field.adjusted(kTextOffset, kTextOffset, 0, 0),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QString::fromStdString(selected));
        p.restore();
    }

    p.fillRect(arrow, QColor(230, 230, 230));
    p.fillRect(arrow.left(), arrow.top(), 1, arrow.height(), kDisabledText);
    const int cx = arrow.center().x() + 1;
    const int cy = arrow.center().y() - 1;
    p.setPen(isEnabled() ? kTextColor : kDisabledText);
    for (int i = 0; i < 4; ++i) p.drawLine(cx - 3 + i, cy + i, cx + 3 - i, cy + i);
}

void TMultiColComboBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (popupVisible()) {
        hidePopup();
    } else {
        showPopup();
    }
}

void TMultiColComboBox::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    switch (event->key()) {
        case Qt::Key_F4:
            showPopup();
            return;
        case Qt::Key_Up:
        case Qt::Key_Left:
            if (alt) {
                showPopup();
            } else if (count() > 0) {
                const int next = itemIndex_ < 0 ? 0 : std::max(0, itemIndex_ - 1);
                if (next != itemIndex_) pick(next);
            }
            return;
        case Qt::Key_Down:
        case Qt::Key_Right:
            if (alt) {
                showPopup();
            } else if (count() > 0) {
                const int next = itemIndex_ < 0 ? 0 : std::min(count() - 1, itemIndex_ + 1);
                if (next != itemIndex_) pick(next);
            }
            return;
        case Qt::Key_Home:
            if (count() > 0 && itemIndex_ != 0) pick(0);
            return;
        case Qt::Key_End:
            if (count() > 0 && itemIndex_ != count() - 1) pick(count() - 1);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TMultiColComboBox::wheelEvent(QWheelEvent* event) {
    // Only a focused box follows the wheel, so scrolling past it changes nothing.
    if (!hasFocus() || count() == 0) {
        event->ignore();
        return;
    }
    const int steps = event->angleDelta().y() / qv::ui::kWheelNotch;
    if (steps != 0) {
        const int start = itemIndex_ < 0 ? (steps > 0 ? count() : -1) : itemIndex_;
        const int next = std::clamp(start - steps, 0, count() - 1);
        if (next != itemIndex_) pick(next);
    }
    event->accept();
}

void TMultiColComboBox::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TMultiColComboBox::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}
