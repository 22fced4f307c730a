#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "support/deep_path.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "support/unprivileged.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"

namespace {

const QString kDropPrompt =
    QStringLiteral("変換元の動画ファイル or フォルダをドロップしてください。");
const QString kReady = QStringLiteral("Ｇｏ！ボタンで変換処理を開始します。");

void touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << "x";
}

// A file URL for any bytes, the way a file manager writes it.
QUrl fileUrl(const std::string& path) {
    const QByteArray bytes(path.data(), qsizetype(path.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
}

}  // namespace

class JobListTest : public QObject {
    Q_OBJECT
  private:
    qvtest::ProgramFolder programDir_;
    QTemporaryDir tree_;
    std::unique_ptr<TMainForm1> w_;
    std::string deepFile_;    // deep/..., a path longer than the system opens whole
    std::string manyFolder_;  // many/..., where 23 such files lie

    std::string at(const QString& rel) const {
        return (tree_.path() + QLatin1Char('/') + rel).toStdString();
    }

    TMainForm1* makeWindow(std::vector<std::string> args = {}, bool show = true) {
        w_ = std::make_unique<TMainForm1>(programDir_.path(), std::move(args));
        if (!show) return w_.get();
        if (!qvtest::showExposed(w_.get())) return nullptr;
        return w_.get();
    }

    // One drop of `paths`, in that order, as a file manager sends it.
    bool drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& p : paths) urls << fileUrl(p);
        mime.setUrls(urls);
        return sendDrop(&mime);
    }
    bool sendDrop(QMimeData* mime) {
        const QPoint pos = w_->ListBox1->mapTo(w_.get(), w_->ListBox1->rect().center());
        QDragEnterEvent enter(pos, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w_.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(pos), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w_.get(), &dropped);
        return dropped.isAccepted();
    }

    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < w_->ListBox1->count(); ++i) out << w_->ListBox1->item(i)->text();
        return out;
    }
    std::vector<std::string> jobs() const {
        std::vector<std::string> out;
        for (int i = 0; i < w_->jobCount(); ++i) out.push_back(w_->jobAt(i));
        return out;
    }
    QStringList full(const QStringList& rel) const {
        QStringList out;
        for (const QString& r : rel) out << tree_.path() + QLatin1Char('/') + r;
        return out;
    }
    void expectStartState() {
        QCOMPARE(w_->ShadowLabel1->Caption(), kDropPrompt);
        QVERIFY(!w_->CButton10->isEnabled());
        QVERIFY(!w_->CButton14->isEnabled());
    }
    void expectReadyState() {
        QCOMPARE(w_->ShadowLabel1->Caption(), kReady);
        QVERIFY(w_->CButton10->isEnabled());
        QVERIFY(w_->CButton14->isEnabled());
    }
    void clickClear() {
        QTest::mouseClick(w_->CButton12, Qt::LeftButton, {}, w_->CButton12->rect().center());
    }

  private slots:
    void initTestCase() {
        qv::ui::testing::enable();
        QVERIFY(programDir_.isValid());
        QVERIFY(tree_.isValid());
        for (const char* rel : {"one/a.avi",        "one/b.avi",      "mixed/a.avi",
                                "mixed/B.avi",      "mixed/c.avi",    "num/f9.avi",
                                "num/f10.avi",      "accent/f.avi",   "accent/\xc3\xa9.avi",
                                "tree/A.avi",       "tree/notes.txt", "tree/sub/c.mpg",
                                "hid/.hidden.avi",  "hid/v.avi",      "args/x.avi",
                                "args/y.avi",       "args/dir/p.avi", "args/dir/q/r.avi",
                                "case/A.avi",       "case/a.avi",     "marks/100% #1 ?&.avi",
                                "marks/日本 語.avi"})
            touch(at(QString::fromUtf8(rel)));
        QVERIFY(QDir().mkpath(tree_.filePath(QStringLiteral("empty"))));

        // Deeper than the system opens a path whole: one file beside a short one, and
        // a folder of 23 of them.
        touch(at(QStringLiteral("deep/short.avi")));
        deepFile_ = qvtest::makeDeepFile(at(QStringLiteral("deep")), 4500);
        QVERIFY(deepFile_.size() >= 4500);
        QVERIFY(QDir().mkpath(tree_.filePath(QStringLiteral("many"))));
        for (int i = 0; i < 23; ++i) {
            const std::string name =
                QStringLiteral("m%1.avi").arg(i, 2, 10, QLatin1Char('0')).toStdString();
            const std::string file = qvtest::makeDeepFile(at(QStringLiteral("many")), 4500, name);
            QVERIFY(!file.empty());
            manyFolder_ = file.substr(0, file.rfind('/'));
        }
        // A folder that others may not read, beside a file; the tree itself is open to
        // them.
        touch(at(QStringLiteral("guarded/open.avi")));
        touch(at(QStringLiteral("guarded/locked/secret.avi")));
        QCOMPARE(chmod(at(QStringLiteral("guarded/locked")).c_str(), 0), 0);
        QCOMPARE(chmod(tree_.path().toLocal8Bit().constData(), 0755), 0);
    }
    void cleanupTestCase() {
        // names that are not UTF-8 and paths beyond the system's limit are beyond
        // QDir's removal
        qvtest::removeTree(tree_.path().toStdString());
    }
    void init() { qv::ui::testing::clear(); }
    void cleanup() {
        w_.reset();
        QLocale::setDefault(QLocale::system());
    }

    void startsEmpty() {
        QVERIFY(makeWindow());
        QCOMPARE(w_->jobCount(), 0);
        expectStartState();
        QCOMPARE(w_->ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
    }

    // drops: each element one drop, paths of one drop separated by '|'
    void dropsAreSorted_data() {
        QTest::addColumn<QStringList>("drops");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("locale");
        QTest::newRow("b then a") << QStringList{QStringLiteral("one/b.avi"),
                                                 QStringLiteral("one/a.avi")}
                                  << QStringList{QStringLiteral("one/a.avi"),
                                                 QStringLiteral("one/b.avi")}
                                  << QString();
        QTest::newRow("same file twice")
            << QStringList{QStringLiteral("one/a.avi"), QStringLiteral("one/a.avi")}
            << QStringList{QStringLiteral("one/a.avi"), QStringLiteral("one/a.avi")} << QString();
        QTest::newRow("duplicate beside others")
            << QStringList{QStringLiteral("one/b.avi"), QStringLiteral("one/a.avi"),
                           QStringLiteral("mixed/c.avi"), QStringLiteral("one/a.avi")}
            << QStringList{QStringLiteral("mixed/c.avi"), QStringLiteral("one/a.avi"),
                           QStringLiteral("one/a.avi"), QStringLiteral("one/b.avi")}
            << QString();
        QTest::newRow("case-insensitive")
            << QStringList{QStringLiteral("mixed/c.avi"), QStringLiteral("mixed/B.avi"),
                           QStringLiteral("mixed/a.avi")}
            << QStringList{QStringLiteral("mixed/a.avi"), QStringLiteral("mixed/B.avi"),
                           QStringLiteral("mixed/c.avi")}
            << QString();
        QTest::newRow("equal but for case: intake order")
            << QStringList{QStringLiteral("case/A.avi"), QStringLiteral("case/a.avi"),
                           QStringLiteral("case/A.avi")}
            << QStringList{QStringLiteral("case/A.avi"), QStringLiteral("case/a.avi"),
                           QStringLiteral("case/A.avi")}
            << QString();
        QTest::newRow("equal but for case: other intake order")
            << QStringList{QStringLiteral("case/a.avi"), QStringLiteral("case/A.avi")}
            << QStringList{QStringLiteral("case/a.avi"), QStringLiteral("case/A.avi")}
            << QStringLiteral("en_US");
        QTest::newRow("one drop of several")
            << QStringList{QStringLiteral("mixed/c.avi|mixed/a.avi|mixed/B.avi")}
            << QStringList{QStringLiteral("mixed/a.avi"), QStringLiteral("mixed/B.avi"),
                           QStringLiteral("mixed/c.avi")}
            << QString();
        QTest::newRow("digits are not numbers")
            << QStringList{QStringLiteral("num/f9.avi"), QStringLiteral("num/f10.avi")}
            << QStringList{QStringLiteral("num/f10.avi"), QStringLiteral("num/f9.avi")}
            << QString();
        QTest::newRow("accent sorts by the locale")
            << QStringList{QStringLiteral("accent/f.avi"), QStringLiteral("accent/\u00e9.avi")}
            << QStringList{QStringLiteral("accent/\u00e9.avi"), QStringLiteral("accent/f.avi")}
            << QStringLiteral("en_US");
        QTest::newRow("folder tree")
            << QStringList{QStringLiteral("tree")}
            << QStringList{QStringLiteral("tree/A.avi"), QStringLiteral("tree/notes.txt"),
                           QStringLiteral("tree/sub/c.mpg")}
            << QString();
        QTest::newRow("hidden file taken")
            << QStringList{QStringLiteral("hid")}
            << QStringList{QStringLiteral("hid/.hidden.avi"), QStringLiteral("hid/v.avi")}
            << QString();
        QTest::newRow("folder then file inside it")
            << QStringList{QStringLiteral("tree"), QStringLiteral("tree/notes.txt")}
            << QStringList{QStringLiteral("tree/A.avi"), QStringLiteral("tree/notes.txt"),
                           QStringLiteral("tree/notes.txt"), QStringLiteral("tree/sub/c.mpg")}
            << QString();
        QTest::newRow("marks and spaces in names")
            << QStringList{QStringLiteral("marks/日本 語.avi"),
                           QStringLiteral("marks/100% #1 ?&.avi")}
            << QStringList{QStringLiteral("marks/100% #1 ?&.avi"),
                           QStringLiteral("marks/日本 語.avi")}
            << QString();
        QTest::newRow("missing path skipped")
            << QStringList{QStringLiteral("one/gone.avi"),
                           QStringLiteral("one/a.avi|one/gone2.avi")}
            << QStringList{QStringLiteral("one/a.avi")} << QString();
    }
    void dropsAreSorted() {
        QFETCH(QStringList, drops);
        QFETCH(QStringList, expected);
        QFETCH(QString, locale);
        if (!locale.isEmpty()) QLocale::setDefault(QLocale(locale));
        QVERIFY(makeWindow());
        for (const QString& d : drops) {
            std::vector<std::string> paths;
            for (const QString& p : d.split(QLatin1Char('|'))) paths.push_back(at(p));
            QVERIFY(drop(paths));
        }
        QCOMPARE(listed(), full(expected));
        std::vector<std::string> bytes;
        for (const QString& e : full(expected)) bytes.push_back(e.toStdString());
        QVERIFY(jobs() == bytes);
        expectReadyState();
        if (QByteArray(QTest::currentDataTag()) == "folder tree")
            qvtest::saveScreenshot(w_.get(), QStringLiteral("job_list_filled.png"));
    }

    void emptyFolderOnEmptyListKeepsStartState() {
        QVERIFY(makeWindow());
        QVERIFY(drop({at(QStringLiteral("empty"))}));
        QCOMPARE(w_->jobCount(), 0);
        expectStartState();
    }
    void emptyFolderOnFilledListKeepsReadyState() {
        QVERIFY(makeWindow());
        QVERIFY(drop({at(QStringLiteral("one/a.avi"))}));
        QVERIFY(drop({at(QStringLiteral("empty"))}));
        QCOMPARE(listed(), full({QStringLiteral("one/a.avi")}));
        expectReadyState();
    }
    void missingPathOnEmptyListChangesNothing() {
        QVERIFY(makeWindow());
        QVERIFY(drop({at(QStringLiteral("nothing/here.avi"))}));
        w_->AddSourcePath("");
        w_->AddSourcePath("/");  // the whole file system is not taken
        QCOMPARE(w_->jobCount(), 0);
        expectStartState();
    }

    void clearEmptiesTheListAndRestoresTheStart() {
        QVERIFY(makeWindow());
        clickClear();  // an empty list
        QCOMPARE(w_->jobCount(), 0);
        expectStartState();
        QVERIFY(drop({at(QStringLiteral("tree"))}));
        expectReadyState();
        w_->ListBox1->setCurrentRow(1);
        clickClear();
        QCOMPARE(w_->jobCount(), 0);
        QCOMPARE(w_->jobAt(0), std::string());
        expectStartState();
        QVERIFY(drop({at(QStringLiteral("one/b.avi"))}));  // the list works as before
        QCOMPARE(listed(), full({QStringLiteral("one/b.avi")}));
        expectReadyState();
    }

    void argumentsAreTakenAtTheFirstActivationOnly() {
        QVERIFY(makeWindow({at(QStringLiteral("args/y.avi")), at(QStringLiteral("args/dir")),
                            at(QStringLiteral("args/x.avi")), at(QStringLiteral("args/missing"))},
                           false));
        QCOMPARE(w_->jobCount(), 0);  // nothing before the first activation
        expectStartState();
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        const QStringList expected =
            full({QStringLiteral("args/dir/p.avi"), QStringLiteral("args/dir/q/r.avi"),
                  QStringLiteral("args/x.avi"), QStringLiteral("args/y.avi")});
        QCOMPARE(listed(), expected);
        expectReadyState();
        w_->FormActivate();  // later activations take nothing again
        QCOMPARE(listed(), expected);
    }
    void relativeArgumentStaysAsGiven() {
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tree_.path()));
        QVERIFY(makeWindow({"one/a.avi", "tree/sub"}));
        w_->FormActivate();
        QDir::setCurrent(old);
        QCOMPARE(listed(), QStringList({tree_.path() + QStringLiteral("/tree/sub/c.mpg"),
                                        QStringLiteral("one/a.avi")}));
    }

    void nonUtf8NamesKeepTheirBytes() {
        const std::string odd = at(QStringLiteral("odd/")) + "\xff\xfe" + "clip.avi";
        touch(odd);
        QVERIFY(makeWindow());
        QVERIFY(drop({odd}));                        // a dropped file
        QVERIFY(drop({at(QStringLiteral("odd"))}));  // and the same file found by the search
        QCOMPARE(w_->jobCount(), 2);
        QVERIFY(w_->jobAt(0) == odd);
        QVERIFY(w_->jobAt(1) == odd);
        QVERIFY(std::ifstream(w_->jobAt(0)).good());
        QVERIFY(w_->ListBox1->item(0)->text().endsWith(QStringLiteral("clip.avi")));
    }

    // A big intake is merged with what the list holds: order, duplicates and the
    // selected entry survive.
    void largeFolderMergesWithExistingEntries() {
        for (int i = 0; i < 100; ++i)
            touch(at(QStringLiteral("big/n%1.avi").arg(i, 3, 10, QLatin1Char('0'))));
        QVERIFY(makeWindow());
        QVERIFY(drop({at(QStringLiteral("one/b.avi")), at(QStringLiteral("big/n050.avi")),
                      at(QStringLiteral("mixed/a.avi"))}));
        w_->ListBox1->setCurrentRow(0);  // big/n050.avi
        QVERIFY(drop({at(QStringLiteral("big"))}));
        QStringList expected{QStringLiteral("big/n000.avi")};
        for (int i = 1; i < 100; ++i) {
            expected << QStringLiteral("big/n%1.avi").arg(i, 3, 10, QLatin1Char('0'));
            if (i == 50) expected << QStringLiteral("big/n050.avi");
        }
        expected << QStringLiteral("mixed/a.avi") << QStringLiteral("one/b.avi");
        QCOMPARE(listed(), full(expected));
        QCOMPARE(w_->ListBox1->currentRow(), 50);  // the one that was selected, before its twin
        QVERIFY(w_->ListBox1->currentItem()->isSelected());
        QCOMPARE(w_->ListBox1->selectedItems().size(), 1);
        std::vector<std::string> bytes;
        for (const QString& e : full(expected)) bytes.push_back(e.toStdString());
        QVERIFY(jobs() == bytes);

        // a second folder merged in keeps the first visible entry at the top
        for (int i = 0; i < 40; ++i)
            touch(at(QStringLiteral("big/m%1.avi").arg(i, 3, 10, QLatin1Char('0'))));
        QListWidget* list = w_->ListBox1;
        list->scrollToItem(list->item(60), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
        const QString topBefore = list->itemAt(1, 1)->text();
        QVERIFY(drop({at(QStringLiteral("big"))}));
        QApplication::processEvents();
        QCOMPARE(w_->jobCount(), 101 + 140 + 2);
        QCOMPARE(list->itemAt(1, 1)->text(), topBefore);
        QVERIFY(!list->grab().isNull());  // paints after the rebuild
    }

    // What an intake cannot queue is named in one message once the intake has ended;
    // everything else is queued. A path that does not exist names nothing.
    //  paths: relative to the tree; "@deep" is the deep file, "@many/NAME" one of the
    //  23 deep files; named: "path|reason"; more: the count after the twentieth.
    void leftOutPathsAreNamedAfterTheIntake_data() {
        QTest::addColumn<bool>("asArguments");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("queued");
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<int>("more");
        const QString tooLong = QStringLiteral("|パスが長すぎます");
        QTest::newRow("too long, as an argument")
            << true << QStringList{QStringLiteral("@deep"), QStringLiteral("one/a.avi")}
            << QStringList{QStringLiteral("one/a.avi")}
            << QStringList{QStringLiteral("@deep") + tooLong} << 0;
        QTest::newRow("too long, inside a dropped folder")
            << false << QStringList{QStringLiteral("deep"), QStringLiteral("one/b.avi")}
            << QStringList{QStringLiteral("deep/short.avi"), QStringLiteral("one/b.avi")}
            << QStringList{QStringLiteral("@deep") + tooLong} << 0;
        QStringList twenty;
        for (int i = 0; i < 20; ++i)
            twenty << QStringLiteral("@many/m%1.avi").arg(i, 2, 10, QLatin1Char('0')) + tooLong;
        QTest::newRow("twenty named, the rest counted")
            << false << QStringList{QStringLiteral("many")} << QStringList{} << twenty << 3;
        QTest::newRow("unreadable folder inside a dropped folder")
            << false << QStringList{QStringLiteral("guarded")}
            << QStringList{QStringLiteral("guarded/open.avi")}
            << QStringList{QStringLiteral("guarded/locked|読み取りが許可されていません")} << 0;
        QTest::newRow("the whole file system and a deep file, one message")
            << false << QStringList{QStringLiteral("/"), QStringLiteral("deep")}
            << QStringList{QStringLiteral("deep/short.avi")}
            << QStringList{QStringLiteral("/|ファイルシステム全体は加えられません"),
                           QStringLiteral("@deep") + tooLong}
            << 0;
        QTest::newRow("missing path")
            << true << QStringList{QStringLiteral("one/gone.avi"), QStringLiteral("one/a.avi")}
            << QStringList{QStringLiteral("one/a.avi")} << QStringList{} << 0;
    }
    void leftOutPathsAreNamedAfterTheIntake() {
        QFETCH(bool, asArguments);
        QFETCH(QStringList, paths);
        QFETCH(QStringList, queued);
        QFETCH(QStringList, named);
        QFETCH(int, more);
        auto resolve = [this](const QString& p) -> std::string {
            if (p == QStringLiteral("/")) return "/";
            if (p == QStringLiteral("@deep")) return deepFile_;
            if (p.startsWith(QStringLiteral("@many/"))) return manyFolder_ + p.mid(5).toStdString();
            return at(p);
        };
        std::vector<std::string> given;
        for (const QString& p : paths) given.push_back(resolve(p));
        using Record = qv::ui::testing::Record;

        if (asArguments) {
            QVERIFY(makeWindow(given, false));
            w_->show();
            QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
            w_->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        } else {
            QVERIFY(makeWindow());
            std::optional<qvtest::Unprivileged> user;
            if (paths.contains(QStringLiteral("guarded"))) {
                user.emplace();
                if (DIR* d = opendir(at(QStringLiteral("guarded/locked")).c_str())) {
                    closedir(d);
                    QSKIP("this process reads folders whatever their mode");
                }
            }
            QVERIFY(drop(given));
            user.reset();
            // no box while the drop is being answered
            QCOMPARE(qv::ui::testing::texts(Record::Message), QStringList{});
        }
        QCOMPARE(listed(), full(queued));
        if (queued.isEmpty())
            expectStartState();
        else
            expectReadyState();

        QCoreApplication::processEvents();
        QString expected;
        if (!named.isEmpty()) {
            expected = QStringLiteral("次のファイルは変換対象に加えられませんでした\n");
            for (const QString& n : named) {
                const QStringList parts = n.split(QLatin1Char('|'));
                expected += QStringLiteral("\n") +
                            QFile::decodeName(QByteArray::fromStdString(resolve(parts[0]))) +
                            QStringLiteral(": ") + parts[1];
            }
            if (more > 0) expected += QStringLiteral("\nほか %1 件").arg(more);
        }
        QCOMPARE(qv::ui::testing::texts(Record::Message),
                 named.isEmpty() ? QStringList{} : QStringList{expected});
    }

    void dropsOtherThanLocalFilesAreRefused() {
        QVERIFY(makeWindow());
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/a.avi"))});
        QVERIFY(!sendDrop(&web));
        QMimeData text;
        text.setText(QString::fromStdString(at(QStringLiteral("one/a.avi"))));
        QVERIFY(!sendDrop(&text));
        QMimeData both;  // the local one of a mixed drop is taken
        both.setUrls({QUrl(QStringLiteral("https://example.org/a.avi")),
                      fileUrl(at(QStringLiteral("one/a.avi")))});
        QVERIFY(sendDrop(&both));
        QCOMPARE(listed(), full({QStringLiteral("one/a.avi")}));
    }
};

QTEST_MAIN(JobListTest)
#include "job_list_test.moc"
