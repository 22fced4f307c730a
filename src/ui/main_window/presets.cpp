// Presets: profile.txt (qv::presetFilePath), the list C2_00, applying and saving.
#include <QPlainTextEdit>
#include <stdexcept>

#include "base/cp932.h"
#include "base/file_places.h"
#include "base/path.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "settings/conversion_settings.h"
#include "settings/preset_file.h"
#include "settings/settings_file.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TMultiColComboBox.h"

namespace {

std::string selectedValue(const TMultiColComboBox* box) {
    const int i = box->ItemIndex();
    return i < 0 ? std::string() : qv::columnOf(box->item(i), 0);
}

std::string presetFilePath(const std::string& programFolder) {
    return qv::presetFilePath(programFolder);
}

}  // namespace

void TMainForm1::loadPresets() {
    const std::string path = presetFilePath(ProgramFolder);
    qv::PresetFile file;
    if (!qv::readPresetFile(path, file).ok())
        throw std::runtime_error("ファイル " + path + " は開けません");
    showPresets(std::move(file));
}

void TMainForm1::showPresets(qv::PresetFile file) {
    PresetLines = std::move(file.lines);
    PresetFileEndsWithBreak = file.endsWithBreak;
    C2_00->truncateItems(1);  // the manual row stays
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
    // The same rule as the command-line tool's --preset, shown control by control.
    qv::ConversionSettings chosen = settings();
    qv::applyPreset(chosen, C2_00->item(picked));
    for (const qv::ControlEntry* entry : qv::presetDrivenControls()) {
        auto* box = static_cast<TMultiColComboBox*>(control(*entry));
        box->setItemIndex(0);
        controlChanged(*entry);
        if (chosen.*entry->number != 0) {
            box->setItemIndex(chosen.*entry->number);
            controlChanged(*entry);
        }
    }
}

void TMainForm1::CButton11Click() {
    qv::ui::showMessage(QStringLiteral("現設定をオリジナル設定として保存します。"));
    QString name = qv::ui::inputBox(QStringLiteral("おまかせ名の入力"),
                                    QStringLiteral("オリジナル設定名(&O):"), 255);
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
    for (const qv::ControlEntry* entry : qv::presetDrivenControls())
        text += "," + selectedValue(static_cast<TMultiColComboBox*>(control(*entry)));
    const std::string line = qv::encodeCp932Replacing(text);

    const std::string path = presetFilePath(ProgramFolder);
    qv::PresetFile saved;
    if (!qv::appendPresetLine(path, {PresetLines, PresetFileEndsWithBreak}, line, saved).ok()) {
        // The line is not kept, so the stored lines and the list stay in step.
        qv::ui::showError(QStringLiteral("ファイル ") + QString::fromStdString(path) +
                          QStringLiteral(" を作成できません."));
        return;
    }

    qv::ui::showMessage(
        QStringLiteral("オリジナル設定を保存しました。\n保存した設定を削除・修正する場合は 同梱の "
                       "profile.txt(CSV仕様)を\n"
                       "テキストエディター等で直接編集してください。"));
    // The list shows the file as saved, presets of other instances and hand edits
    // included, so that the index stored at close names this row at the next start.
    showPresets(std::move(saved));
    C2_00->setItemIndex(static_cast<int>(PresetLines.size()));
}
