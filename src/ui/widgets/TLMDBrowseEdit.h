#pragma once
#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

// Folder text with a browse button that opens the folder picker.
class TLMDBrowseEdit : public QWidget {
    Q_OBJECT
  public:
    explicit TLMDBrowseEdit(QWidget* parent = nullptr);

    QString Path() const;
    void setPath(const QString& path);  // no change, no OnChange
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* browseButton() const { return button_; }

    // Test hook: when set, called instead of the folder picker; returns the chosen
    // folder or an empty text for cancel.
    static std::function<QString(const QString& start)> pickerForTests;

  signals:
    void OnChange();

  protected:
    void resizeEvent(QResizeEvent*) override;

  private:
    void browse();
    QLineEdit* edit_ = nullptr;
    QToolButton* button_ = nullptr;
};
