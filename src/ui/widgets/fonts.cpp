#include "ui/widgets/fonts.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace qv::ui {

namespace {

QString pickFamily() {
    const QStringList preferred = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                   QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")};
    const QStringList installed = QFontDatabase::families();
    for (const QString& name : preferred) {
        if (installed.contains(name, Qt::CaseInsensitive)) return name;
    }
    // Any family that covers Japanese beats a box of missing glyphs; prefer a gothic.
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& name : japanese) {
        if (name.contains(QStringLiteral("Gothic"), Qt::CaseInsensitive) ||
            name.contains(QStringLiteral("ゴシック")) || name.contains(QStringLiteral("Sans")))
            return name;
    }
    return japanese.isEmpty() ? QString() : japanese.front();
}

}  // namespace

QFont uiFont(int pixelHeight, bool bold) {
    static const QString family = pickFamily();
    QFont font;
    if (!family.isEmpty()) font.setFamilies({family});
    font.setPixelSize(pixelHeight > 0 ? pixelHeight : 12);
    font.setBold(bold);
    return font;
}

}  // namespace qv::ui
