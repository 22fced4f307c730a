#pragma once
#include <QColor>
#include <QWidget>
#include <string>
#include <vector>

// Pick-only drop-down whose rows are split into coloured columns.
class TMultiColComboBox : public QWidget {
    Q_OBJECT
  public:
    struct Column {
        int Width = 100;
        QColor Color = Qt::white;
    };

    explicit TMultiColComboBox(QWidget* parent = nullptr);

    void setColumns(std::vector<Column> columns);
    const std::vector<Column>& columns() const { return columns_; }

    // Items: rows kept whole, UTF-8.
    void addItem(const std::string& row);
    // Keeps the first `count` rows; a selection past them goes. Never emits OnChange.
    void truncateItems(int count);
    int count() const { return static_cast<int>(rows_.size()); }
    const std::string& item(int i) const { return rows_.at(static_cast<size_t>(i)); }

    int ItemIndex() const { return itemIndex_; }
    void setItemIndex(int index);  // outside 0..count-1 selects none; never emits OnChange
    int TargetColumn() const { return targetColumn_; }
    void setTargetColumn(int column);
    std::string GetSelectedText() const;

    QColor Color() const { return color_; }
    void setColor(const QColor& color);

    // Width the opened list takes: sum of the column widths, never narrower than the box.
    int popupWidth() const;
    void showPopup();
    void hidePopup();
    bool popupVisible() const;
    QWidget* popup() const;

  signals:
    void OnChange();

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;

  private:
    friend class MultiColPopup;
    void pick(int index);  // a user's choice: selects and emits OnChange

    std::vector<std::string> rows_;
    std::vector<Column> columns_;
    int itemIndex_ = -1;
    int targetColumn_ = 0;
    QColor color_ = Qt::white;
    QWidget* popup_ = nullptr;
};
