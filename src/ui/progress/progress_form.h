#pragma once
// The small window that floats above everything during a batch run.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/encoder_process.h"
#include "ui/widgets/window_drag.h"

class QTimer;
class TdxfProgressBar;
class TGradBox;
class TShadowLabel;
class TdxfColorButton;
class TImage;
class TShape;

class TProgressForm1 : public QWidget {
    Q_OBJECT
  public:
    // What the window reads of the run in progress; the pointers must outlive the window.
    struct RunFields {
        const std::string* SourcePath = nullptr;
        const std::string* DestPath = nullptr;
        qv::EncoderProcess* ProcessInfo = nullptr;
    };

    // owner: the window the progress window belongs to (it stays a window of its own,
    // so that disabling the owner leaves it usable).
    TProgressForm1(QWidget* owner, const RunFields& run);

    // How the run stops the job of a line (true when it stopped) and the whole batch;
    // without them the window stops ProcessInfo itself.
    void setRunControls(std::function<bool(int line)> cancelJob, std::function<void()> stopBatch) {
        cancelJob_ = std::move(cancelJob);
        stopBatch_ = std::move(stopBatch);
    }

    // The real seconds the whole batch has still to go, once they can be told; the size
    // line shows them after the sizes from the next tick on.
    void setTimeLeft(std::function<std::optional<double>()> secondsLeft) {
        timeLeft_ = std::move(secondsLeft);
    }

    // One line (name, sizes, bar, cancel) per job that runs at once. One line is the window
    // of one job at a time; each further line adds to its height, never to its width.
    void setLineCount(int lines);
    int lineCount() const { return static_cast<int>(extra_.size()) + 1; }
    TShadowLabel* nameLabel(int line) const;
    TShadowLabel* sizeLabel(int line) const;
    TdxfProgressBar* lineBar(int line) const;
    TdxfColorButton* cancelButton(int line) const;
    // The files whose sizes a further line shows; line 0 reads RunFields.
    void setLinePaths(int line, std::string source, std::string dest);
    static constexpr int kLineHeight = 52;

    TdxfProgressBar* ProgressBar1;
    TGradBox* GradBox6;
    TShadowLabel* Label1;
    TShape* Shape1;
    TdxfColorButton* CButton1;
    QTimer* Timer1;
    TShadowLabel* Label2;
    TImage* Image1;
    std::int64_t SourceSize = -1;
    std::int64_t DestSize = -1;
    bool Cancelled = false;
    // The user chose to stop the whole batch: the run skips every job still to come.
    bool StopAll = false;

  public slots:
    void CButton1Click();
    void Timer1Timer();
    // Asks whether the rest of the batch should go too; yes does stopAll().
    void askStopAll();
    // Stops the pass and sets StopAll: the run skips every job still to come.
    void stopAll();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Whether a press at this point of the window moves it.
    bool dragsWindow(const QPoint& pos) const;

    QWidget* owner_;
    Qt::KeyboardModifiers clickModifiers_;  // of the release that clicked CButton1
    struct Line {
        TShadowLabel *name, *size;
        TdxfProgressBar* bar;
        TdxfColorButton* cancel;
        std::string source, dest;
    };
    void cancelLine(int line);

    RunFields run_;
    std::vector<Line> extra_;  // lines 1, 2, ...
    std::function<bool(int)> cancelJob_;
    std::function<void()> stopBatch_;
    std::function<std::optional<double>()> timeLeft_;
    WindowDrag drag_{*this};
};
