// Presets: profile.txt beside the program, the list C2_00, applying and saving.
#include <QPlainTextEdit>
#include <stdexcept>

#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "settings/preset_file.h"
#include "settings/preset_match.h"
#include "settings/profile_file.h"
#include "ui/app/dialogs.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/widgets/TMultiColComboBox.h"

namespace {

using Handler = void (TMainForm1::*)();

// Column of a preset row, the control it drives, in the order they are applied
// and saved.
struct Drive {
    int column;
    TMultiColComboBox* TMainForm1::*box;
    qv::CatalogueId catalogue;
    Handler change;
};

const Drive kDrives[] = {
    {1, &TMainForm1::C2_01, qv::CatalogueId::C2_01, &TMainForm1::C2_01Change},
    {2, &TMainForm1::C2_02, qv::CatalogueId::C2_02, &TMainForm1::C2_02Change},
    {3, &TMainForm1::C2_04, qv::CatalogueId::C2_04, &TMainForm1::C2_04Change},
    {4, &TMainForm1::C2_06, qv::CatalogueId::C2_06, &TMainForm1::C2_06Change},
    {5, &TMainForm1::C2_05, qv::CatalogueId::C2_05, &TMainForm1::C2_05Change},
    {6, &TMainForm1::C3_04, qv::CatalogueId::C3_04, &TMainForm1::C3_04Change},
    {7, &TMainForm1::C3_01, qv::CatalogueId::C3_01, &TMainForm1::C3_01Change},
    {8, &TMainForm1::C3_03, qv::CatalogueId::C3_03, &TMainForm1::C3_03Change},
    {9, &TMainForm1::C3_02, qv::CatalogueId::C3_02, &TMainForm1::C3_02Change},
};

std::string selectedValue(const TMultiColComboBox* box) {
    const int i = box->ItemIndex();
    return i < 0 ? std::string() : qv::columnOf(box->item(i), 0);
}

QString presetFilePath(const QString& programFolder) { return programFolder + QStringLiteral("/profile.txt"); }

}  // namespace

void TMainForm1::loadPresets() {
    const QString path = presetFilePath(ProgramFolder);
    qv::PresetFile file;
    if (!qv::readPresetFile(path.toStdString(), file))
        throw std::runtime_error("ファイル " + path.toStdString() + " は開けません");
    PresetLines = std::move(file.lines);
    PresetFileEndsWithBreak = file.endsWithBreak;
    QStringList texts;
    for (const std::string& line : PresetLines) {
        const std::string row = qv::presetRowText(line);
        C2_00->addItem(row);
        texts << QString::fromStdString(row);
    }
    Memo0->setPlainText(texts.join(QLatin1Char('\n')));
}

void TMainForm1::C2_00Change() {
    const int picked = C2_00->ItemIndex();
    if (picked < 0) return;
    const std::string row = C2_00->item(picked);
    for (const Drive& d : kDrives) {
        TMultiColComboBox* box = this->*d.box;
        box->setItemIndex(0);
        (this->*d.change)();
        const int match = qv::presetRowFor(qv::catalogue(d.catalogue), qv::columnOf(row, d.column));
        if (match >= 0) {
            box->setItemIndex(match);
            (this->*d.change)();
        }
    }
}

void TMainForm1::CButton11Click() {
    qv::ui::showMessage(QStringLiteral("現設定をオリジナル設定として保存します。"));
    QString name = qv::ui::inputBox(QStringLiteral("おまかせ名の入力"), QStringLiteral("オリジナル設定名(&O):"), 255);
    name.replace(QLatin1Char(','), QStringLiteral("，"));
    name.replace(QLatin1Char(' '), QStringLiteral("　"));
    // A line break or a tab would split the name, and a double quote would make the
    // column run on: each would break the saved line.
    for (QChar& c : name)
        if (c.unicode() < 0x20) c = QChar(0x3000);
    name.replace(QLatin1Char('"'), QStringLiteral("＂"));
    if (name.isEmpty()) {
        qv::ui::showMessage(QStringLiteral("オリジナル設定名を入力してください。"));
        return;
    }
    std::string text = name.toStdString();
    for (const Drive& d : kDrives) text += "," + selectedValue(this->*d.box);
    const std::string line = qv::encodeCp932Replacing(text);

    std::vector<std::string> lines = PresetLines;
    lines.push_back(line);
    const QString path = presetFilePath(ProgramFolder);
    if (!qv::writePresetFile(path.toStdString(), lines, PresetFileEndsWithBreak)) {
        // The line is not kept, so the stored lines and the list stay in step.
        qv::ui::showError(QStringLiteral("ファイル ") + path + QStringLiteral(" を作成できません."));
        return;
    }
    PresetLines = std::move(lines);
    const std::string row = qv::presetRowText(line);
    Memo0->appendPlainText(QString::fromStdString(row));

    qv::ui::showMessage(QStringLiteral(
        "オリジナル設定を保存しました。\n保存した設定を削除・修正する場合は 同梱の profile.txt(CSV仕様)を\n"
        "テキストエディター等で直接編集してください。"));
    C2_00->addItem(row);
    C2_00->setItemIndex(static_cast<int>(PresetLines.size()));
}
