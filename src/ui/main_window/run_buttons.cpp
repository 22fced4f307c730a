// Go!, preview and play: the buttons that hand the job list to the batch run or
// to the desktop.
#include <QActionGroup>
#include <QListWidget>
#include <QMenu>
#include <thread>

#include "run/batch_engine.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/progress/batch_host.h"
#include "ui/services/dialogs.h"
#include "ui/services/end_requests.h"
#include "ui/widgets/TShadowLabel.h"

void TMainForm1::showStatus(const QString& text) { ShadowLabel1->setCaption(text); }

int TMainForm1::parallelJobs() const {
    return qv::parallelJobsFor(Jobs, std::thread::hardware_concurrency(), settings().CheckBox2);
}

void TMainForm1::showJobsMenu(const QPoint& at) {
    if (qv::ui::batchRunning()) return;
    QMenu menu(this);
    auto* group = new QActionGroup(&menu);
    const auto add = [&](const QString& text, int value) {
        QAction* action = menu.addAction(text);
        action->setCheckable(true);
        action->setChecked(qv::validJobsSetting(Jobs) == value);
        action->setData(value);
        group->addAction(action);
    };
    add(QStringLiteral("1 件ずつ変換"), 1);
    for (int n : {2, 3, 4, 6, 8, 12, 16}) add(QStringLiteral("%1 件同時に変換").arg(n), n);
    add(QStringLiteral("自動 (%1 件同時)")
            .arg(qv::automaticJobCount(std::thread::hardware_concurrency(), settings().CheckBox2)),
        0);
    if (QAction* chosen = menu.exec(at)) Jobs = chosen->data().toInt();
}

void TMainForm1::CButton10Click() { qv::ui::runBatch(*this); }

namespace {

// A batch taken up again: its own jobs, settings and number at once; everything else is the
// window's.
class ResumedBatch : public TBatchHost {
  public:
    ResumedBatch(TMainForm1& form, const qv::AbandonedBatch& batch) : form_(form), batch_(batch) {}
    QWidget& batchWindow() override { return form_; }
    qv::ConversionSettings settingsSnapshot() const override { return batch_.batch.settings; }
    int jobCount() const override { return static_cast<int>(batch_.remaining.size()); }
    std::string jobAt(int index) const override {
        return batch_.remaining.at(static_cast<std::size_t>(index));
    }
    std::string programFolder() const override { return form_.ProgramFolder; }
    void showStatus(const QString& text) override { form_.showStatus(text); }
    TRunRecord& runRecord() override { return form_; }
    int parallelJobs() const override { return batch_.batch.parallel; }

  private:
    TMainForm1& form_;
    const qv::AbandonedBatch& batch_;
};

}  // namespace

void TMainForm1::resumeAbandonedBatches(std::vector<qv::AbandonedBatch>& batches) {
    const auto ending = [] { return qv::ui::EndRequests::instance().ending(); };
    for (qv::AbandonedBatch& batch : batches) {
        // A program told to end asks nothing and forgets nothing: the next start offers it.
        if (ending() || qv::ui::batchRunning()) return;
        const bool yes = qv::ui::askYesNo(
            QStringLiteral("前回の変換が途中で終わっています。残りの %1 件を続けて変換しますか？")
                .arg(batch.remaining.size()),
            QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"), true);
        if (ending()) return;
        // Taken over by the new run, whose own journal keeps it from here.
        batch.forget();
        if (!yes) continue;
        takePaths(batch.remaining);
        PreviewMode = batch.batch.preview;
        ResumedBatch host(*this, batch);
        qv::ui::runBatch(host);
        PreviewMode = false;  // also when nothing ran
    }
}

void TMainForm1::CButton14Click() {
    if (qv::ui::batchRunning()) return;
    PreviewMode = true;
    CButton10Click();
    PreviewMode = false;  // also when the list was empty and nothing ran
}

void TMainForm1::CButton13Click() {
    if (!ListBox1) return;
    for (const QListWidgetItem* item : ListBox1->selectedItems()) {
        const int row = ListBox1->row(item);
        if (row < 0 || row >= jobCount()) continue;
        qv::ui::openWithDesktop(qv::ui::desktopTarget(jobAt(row)));
    }
}
