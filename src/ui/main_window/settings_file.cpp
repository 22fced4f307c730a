// The settings file: read once at the first activation, written at close.
#include "settings/settings_file.h"

#include <QCheckBox>

#include "run/batch_engine.h"
#include "settings/conversion_settings.h"
#include "settings/profile_file.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"

void TMainForm1::applySettingsFile() {
    // Every key defaults to its control's state now, so a missing key (or file)
    // leaves the control exactly as it is.
    const qv::ProfileFile ini = qv::ProfileFile::load(settingsFilePath());

    move(ini.readInt("SET", "M_LEFT", x()), y());
    move(x(), ini.readInt("SET", "M_TOP", y()));

    // The same reading as the command-line tool's, over what the controls hold now.
    const qv::ConversionSettings read =
        qv::settingsFromFile(ini, settings(), ProgramFolder, C2_00->count());
    for (const qv::ControlEntry& entry : qv::kControls) {
        QWidget* w = control(entry);
        switch (entry.kind) {
            case qv::ControlKind::Folder:
                static_cast<TLMDBrowseEdit*>(w)->setPath(QString::fromStdString(read.*entry.text));
                break;
            case qv::ControlKind::Index:
                static_cast<TMultiColComboBox*>(w)->setItemIndex(read.*entry.number);
                break;
            case qv::ControlKind::Value:
                static_cast<TLMDSpinEdit*>(w)->setValue(read.*entry.number);
                break;
            case qv::ControlKind::Check:
                static_cast<QCheckBox*>(w)->setChecked(read.*entry.flag);
                break;
        }
        // The preset is not applied again: its controls take their own keys.
        if (entry.role != qv::ControlRole::PresetList) controlChanged(entry);
    }
    Jobs = qv::validJobsSetting(ini.readInt("SET4", "JOBS", Jobs));
}

void TMainForm1::FormClose() {
    const std::string file = settingsFilePath();
    qv::ProfileFile ini = qv::ProfileFile::load(file);
    // A file that is there but cannot be read is not replaced: its other
    // sections would be lost.
    bool ok = ini.status() != qv::FileStatus::Error;
    if (ok) {
        ini.writeInt("SET", "M_LEFT", x());
        ini.writeInt("SET", "M_TOP", y());
        for (const qv::ControlEntry& entry : qv::kControls) {
            QWidget* w = control(entry);
            switch (entry.kind) {
                case qv::ControlKind::Folder:
                    ini.writeString(entry.section, entry.key,
                                    static_cast<TLMDBrowseEdit*>(w)->Path().toStdString());
                    break;
                case qv::ControlKind::Index:
                    ini.writeInt(entry.section, entry.key,
                                 static_cast<TMultiColComboBox*>(w)->ItemIndex());
                    break;
                case qv::ControlKind::Value:
                    ini.writeInt(entry.section, entry.key, static_cast<TLMDSpinEdit*>(w)->Value());
                    break;
                case qv::ControlKind::Check:
                    ini.writeInt(entry.section, entry.key,
                                 static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0);
                    break;
            }
        }
        // One at a time is the default: a file that never had the key keeps its bytes.
        if (Jobs != 1 || ini.readString("SET4", "JOBS")) ini.writeInt("SET4", "JOBS", Jobs);
        // One atomic replacement: a failed write leaves the old file whole.
        ok = ini.save(file).ok();
    }
    if (!ok) qv::ui::showError(QString::fromStdString(file) + QStringLiteral(" に書き込めません."));
}
