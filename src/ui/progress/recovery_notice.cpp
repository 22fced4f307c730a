#include "ui/progress/recovery_notice.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace qv::ui {

namespace {

constexpr qsizetype kListed = 20;

QString displayPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString listed(const QStringList& lines) {
    QString text;
    const qsizetype shown = std::min(kListed, lines.size());
    for (qsizetype i = 0; i < shown; ++i) text += QStringLiteral("\n") + lines[i];
    if (lines.size() > shown) text += QStringLiteral("\nほか %1 件").arg(lines.size() - shown);
    return text;
}

QString keptLine(const qv::UnrestoredResult& u) {
    const QString hidden = displayPath(u.hidden);
    const QString result = displayPath(u.result);
    switch (u.problem) {
        case qv::RestoreProblem::HiddenReplaced:
            return QStringLiteral("%1: 退避した後で別のファイルに置き換えられています").arg(hidden);
        case qv::RestoreProblem::NameTaken:
            return QStringLiteral("%1: %2 にファイルでないものがあるため戻せません")
                .arg(hidden, result);
        case qv::RestoreProblem::CannotRename:
            return QStringLiteral("%1: %2 に戻せません (%3)")
                .arg(hidden, result, systemText(u.error));
        case qv::RestoreProblem::CannotDelete:
            return QStringLiteral("%1: 不要になりましたが削除できません (%2)")
                .arg(hidden, systemText(u.error));
    }
    return hidden;
}

}  // namespace

QString recoveryNotice(const qv::Recovery& recovery) {
    QString text;
    if (!recovery.restored.empty()) {
        QStringList paths;
        for (const std::string& path : recovery.restored) paths << displayPath(path);
        text = QStringLiteral(
                   "前回の変換が異常終了したため、退避していた %1 件のファイルを元に戻しました。")
                   .arg(paths.size()) +
               QStringLiteral("\n") + listed(paths);
    }
    if (!recovery.kept.empty()) {
        QStringList lines;
        for (const qv::UnrestoredResult& u : recovery.kept) lines << keptLine(u);
        if (!text.isEmpty()) text += QStringLiteral("\n\n");
        text += QStringLiteral("次の %1 件は元に戻せなかったため、退避したまま残してあります。")
                    .arg(lines.size()) +
                QStringLiteral("\n") + listed(lines);
    }
    return text;
}

}  // namespace qv::ui
