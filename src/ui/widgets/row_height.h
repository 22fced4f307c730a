#pragma once
#include <QStyledItemDelegate>

// Gives every row of a list the same height in pixels.
class RowHeight : public QStyledItemDelegate {
  public:
    RowHeight(int height, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

  private:
    int height_;
};
