// Go!, preview and play: the buttons that hand the job list to the batch run or
// to the desktop.
#include <QListWidget>

#include "ui/main_window/TMainForm1.h"
#include "ui/progress/batch_host.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TShadowLabel.h"

void TMainForm1::showStatus(const QString& text) { ShadowLabel1->setCaption(text); }

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
