// The job list: drops, command-line paths, the folder search and the sorted list.

#include <QByteArray>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <utility>

#include "run/job_intake.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"

namespace {

const QString kDropPrompt = QString::fromUtf8(qv::ui::kDropPrompt);
const QString kReady = QStringLiteral("Ｇｏ！ボタンで変換処理を開始します。");
const QString kNotQueuedNotice = QStringLiteral("次のファイルは変換対象に加えられませんでした");

// Up to this many new entries are put into their places one at a time; more are
// merged with the list in one rebuild, so that a large folder costs n log n.
constexpr std::size_t kInsertOneByOne = 32;

// The list's order, shared with the command-line tool, in the program's locale (the
// user's, unless the program was given another).
const qv::JobOrder& jobOrder() {
    static std::unique_ptr<qv::JobOrder> order;
    static QString name;
    const QString now = QLocale().name();
    if (!order || now != name) {
        order = std::make_unique<qv::JobOrder>(now.toStdString());
        name = now;
    }
    return *order;
}

QByteArray toBytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

QListWidgetItem* newItem(const QString& text, const QByteArray& bytes) {
    auto* item = new QListWidgetItem(text);
    item->setData(Qt::UserRole, bytes);
    return item;
}

// The bytes of an entry; an item put in without them stands for its text's bytes.
QByteArray itemBytes(const QListWidgetItem* item) {
    const QVariant v = item->data(Qt::UserRole);
    return v.isValid() ? v.toByteArray() : QFile::encodeName(item->text());
}

struct NewJob {
    QString text;
    QByteArray bytes;
    std::string key;
};

// Puts `paths` into the sorted list. Each new entry goes after the entries that
// compare equal to it, so duplicates stand side by side.
void mergeIntoList(QListWidget* list, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    const qv::JobOrder& order = jobOrder();
    std::vector<NewJob> jobs;
    jobs.reserve(paths.size());
    for (const std::string& p : paths) {
        QByteArray bytes = toBytes(p);
        QString text = QFile::decodeName(bytes);
        jobs.push_back({std::move(text), std::move(bytes), order.sortKey(p)});
    }
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const NewJob& a, const NewJob& b) { return a.key < b.key; });

    const int existing = list->count();
    if (existing > 0 && jobs.size() <= kInsertOneByOne) {
        int low = 0;
        for (const NewJob& job : jobs) {
            int high = list->count();
            while (low < high) {
                const int mid = low + (high - low) / 2;
                if (order.compare(itemBytes(list->item(mid)).toStdString(),
                                  job.bytes.toStdString()) <= 0)
                    low = mid + 1;
                else
                    high = mid;
            }
            list->insertItem(low++, newItem(job.text, job.bytes));
        }
        return;
    }

    // One merge of the two sorted runs, then the list rebuilt in one go; the current
    // entry and the first visible one stay what they were.
    QListWidgetItem* current = list->currentItem();
    const QListWidgetItem* top = existing > 0 ? list->itemAt(1, 1) : nullptr;
    const bool hadSelection = current && current->isSelected();
    QStringList texts;
    std::vector<QByteArray> bytes;
    texts.reserve(existing + qsizetype(jobs.size()));
    bytes.reserve(std::size_t(existing) + jobs.size());
    int newCurrent = -1, newTop = -1;
    std::size_t j = 0;
    for (int i = 0; i < existing; ++i) {
        const QListWidgetItem* item = list->item(i);
        const QString text = item->text();
        const std::string itemPath = itemBytes(item).toStdString();
        for (; j < jobs.size() && order.compare(jobs[j].bytes.toStdString(), itemPath) < 0; ++j) {
            texts.push_back(std::move(jobs[j].text));
            bytes.push_back(std::move(jobs[j].bytes));
        }
        if (item == current) newCurrent = int(texts.size());
        if (item == top) newTop = int(texts.size());
        texts.push_back(text);
        bytes.push_back(itemBytes(item));
    }
    for (; j < jobs.size(); ++j) {
        texts.push_back(std::move(jobs[j].text));
        bytes.push_back(std::move(jobs[j].bytes));
    }

    const bool updates = list->updatesEnabled();
    list->setUpdatesEnabled(false);
    list->clear();
    list->addItems(texts);
    {
        // Only the hidden bytes change here: nothing for the view to redo per item.
        const QSignalBlocker quiet(list->model());
        for (int r = 0; r < list->count(); ++r) list->item(r)->setData(Qt::UserRole, bytes[r]);
    }
    if (newCurrent >= 0) {
        list->setCurrentRow(newCurrent, hadSelection ? QItemSelectionModel::ClearAndSelect
                                                     : QItemSelectionModel::NoUpdate);
    }
    if (newTop >= 0) list->scrollToItem(list->item(newTop), QAbstractItemView::PositionAtTop);
    list->setUpdatesEnabled(updates);
}

// The bytes of a dropped local file, percent-escapes undone byte for byte, so
// names that are not UTF-8 arrive unchanged.
std::string droppedPath(const QUrl& url) {
    if (url.host().isEmpty()) {
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        return bytes.toStdString();
    }
    return QFile::encodeName(url.toLocalFile()).toStdString();
}

bool hasLocalFiles(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isLocalFile(); });
}

// One message naming what an intake left out, sorted by path.
QString notQueuedNotice(std::vector<qv::NotQueued> left) {
    QStringList lines;
    for (const std::string& line : qv::notQueuedLines(std::move(left)))
        lines << QFile::decodeName(toBytes(line));
    return qv::ui::listNotice(kNotQueuedNotice, lines);
}

}  // namespace

void TMainForm1::AddSourcePath(const std::string& path) { takePaths({path}); }

void TMainForm1::takePaths(const std::vector<std::string>& paths) {
    std::vector<qv::NotQueued> left;
    for (const std::string& path : paths) {
        qv::JobIntake taken;
        qv::takeJobs(path, taken);
        for (qv::NotQueued& n : taken.left) left.push_back(std::move(n));
        mergeIntoList(ListBox1, taken.files);
        if (ListBox1->count() > 0) {
            ShadowLabel1->setCaption(kReady);
            CButton10->setEnabled(true);
            CButton14->setEnabled(true);
        }
    }
    if (left.empty()) return;
    // Once the drop has been answered: a box inside it would keep the program the
    // files were dragged from waiting.
    QTimer::singleShot(0, this,
                       [text = notQueuedNotice(std::move(left))] { qv::ui::showMessage(text); });
}

int TMainForm1::jobCount() const { return ListBox1->count(); }

std::string TMainForm1::jobAt(int index) const {
    const QListWidgetItem* item = ListBox1->item(index);
    return item ? itemBytes(item).toStdString() : std::string();
}

void TMainForm1::CButton12Click() {
    ListBox1->clear();
    ShadowLabel1->setCaption(kDropPrompt);
    CButton10->setEnabled(false);
    CButton14->setEnabled(false);
}

void TMainForm1::takeArguments() { takePaths(Arguments); }

void TMainForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (hasLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMainForm1::dropEvent(QDropEvent* event) {
    if (!hasLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(droppedPath(url));
    takePaths(paths);
}
