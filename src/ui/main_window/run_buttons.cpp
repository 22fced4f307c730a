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
