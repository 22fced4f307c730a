// The settings file: read once at the first activation, written at close.
#include <QCheckBox>

#include "settings/profile_file.h"
#include "ui/app/dialogs.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"

namespace {

using Handler = void (TMainForm1::*)();

struct IndexKey {
    const char* section;
    const char* key;
    TMultiColComboBox* TMainForm1::*box;
    Handler change;
};

struct ValueKey {
    const char* section;
    const char* key;
    TLMDSpinEdit* TMainForm1::*edit;
    Handler change;
};

struct CheckKey {
    const char* key;
    QCheckBox* TMainForm1::*box;
};

const IndexKey kIndexKeysSet2[] = {
    {"SET2", "C2_01", &TMainForm1::C2_01, &TMainForm1::C2_01Change},
    {"SET2", "C2_02", &TMainForm1::C2_02, &TMainForm1::C2_02Change},
    {"SET2", "C2_03", &TMainForm1::C2_03, &TMainForm1::C2_03Change},
    {"SET2", "C2_04", &TMainForm1::C2_04, &TMainForm1::C2_04Change},
    {"SET2", "C2_05", &TMainForm1::C2_05, &TMainForm1::C2_05Change},
    {"SET2", "C2_06", &TMainForm1::C2_06, &TMainForm1::C2_06Change},
};

const ValueKey kCropKeys[] = {
    {"SET2", "C2_07_1", &TMainForm1::C2_07_1, &TMainForm1::C2_07_1Change},
    {"SET2", "C2_07_2", &TMainForm1::C2_07_2, &TMainForm1::C2_07_2Change},
    {"SET2", "C2_07_3", &TMainForm1::C2_07_3, &TMainForm1::C2_07_3Change},
    {"SET2", "C2_07_4", &TMainForm1::C2_07_4, &TMainForm1::C2_07_4Change},
};

const IndexKey kIndexKeysSet3[] = {
    {"SET3", "C3_01", &TMainForm1::C3_01, &TMainForm1::C3_01Change},
    {"SET3", "C3_02", &TMainForm1::C3_02, &TMainForm1::C3_02Change},
    {"SET3", "C3_03", &TMainForm1::C3_03, &TMainForm1::C3_03Change},
    {"SET3", "C3_04", &TMainForm1::C3_04, &TMainForm1::C3_04Change},
    {"SET3", "C3_05", &TMainForm1::C3_05, &TMainForm1::C3_05Change},
    {"SET3", "C3_06", &TMainForm1::C3_06, &TMainForm1::C3_06Change},
};

const CheckKey kCheckKeys[] = {
    {"C4_C1", &TMainForm1::CheckBox1}, {"C4_C2", &TMainForm1::CheckBox2}, {"C4_C3", &TMainForm1::CheckBox3},
    {"C4_C4", &TMainForm1::CheckBox4}, {"C4_C5", &TMainForm1::CheckBox5},
};

const ValueKey kRangeKeys[] = {
    {"SET4", "C4_01_1", &TMainForm1::C4_01_1, &TMainForm1::C4_01_1Change},
    {"SET4", "C4_01_2", &TMainForm1::C4_01_2, &TMainForm1::C4_01_2Change},
    {"SET4", "C4_01_3", &TMainForm1::C4_01_3, &TMainForm1::C4_01_3Change},
    {"SET4", "C4_01_4", &TMainForm1::C4_01_4, &TMainForm1::C4_01_4Change},
    {"SET4", "C4_01_5", &TMainForm1::C4_01_5, &TMainForm1::C4_01_5Change},
    {"SET4", "C4_01_6", &TMainForm1::C4_01_6, &TMainForm1::C4_01_6Change},
};

}  // namespace

void TMainForm1::applySettingsFile() {
    // Every key defaults to its control's state now, so a missing key (or file)
    // leaves the control exactly as it is.
    const qv::ProfileFile ini = qv::ProfileFile::load(settingsFilePath().toStdString());

    move(ini.readInt("SET", "M_LEFT", x()), y());
    move(x(), ini.readInt("SET", "M_TOP", y()));

    QString folder = QString::fromStdString(ini.readString("SET1", "C1_03", C1_03->Path().toStdString()));
    if (folder.isEmpty()) folder = ProgramFolder;
    C1_03->setPath(folder);
    C1_03Change();

    C1_02->setItemIndex(ini.readInt("SET1", "C1_02", C1_02->ItemIndex()));
    C1_02Change();

    // The preset is not applied again: its nine controls take their own keys next.
    C2_00->setItemIndex(ini.readInt("SET2", "C2_00", C2_00->ItemIndex()));

    auto restoreIndex = [&](const IndexKey& k) {
        TMultiColComboBox* box = this->*k.box;
        box->setItemIndex(ini.readInt(k.section, k.key, box->ItemIndex()));
        (this->*k.change)();
    };
    auto restoreValue = [&](const ValueKey& k) {
        TLMDSpinEdit* edit = this->*k.edit;
        edit->setValue(ini.readInt(k.section, k.key, edit->Value()));
        (this->*k.change)();
    };
    for (const IndexKey& k : kIndexKeysSet2) restoreIndex(k);
    for (const ValueKey& k : kCropKeys) restoreValue(k);
    for (const IndexKey& k : kIndexKeysSet3) restoreIndex(k);
    for (const CheckKey& k : kCheckKeys) {
        QCheckBox* box = this->*k.box;
        box->setChecked(ini.readInt("SET4", k.key, box->isChecked() ? 1 : 0) != 0);
    }
    CheckBox5Click();
    for (const ValueKey& k : kRangeKeys) restoreValue(k);
}

void TMainForm1::FormClose() {
    const QString path = settingsFilePath();
    const std::string file = path.toStdString();
    qv::ProfileFile ini = qv::ProfileFile::load(file);
    // A file that is there but cannot be read is not replaced: its other
    // sections would be lost.
    bool ok = ini.status() != qv::FileReadStatus::Error;
    if (ok) {
        ini.writeInt("SET", "M_LEFT", x());
        ini.writeInt("SET", "M_TOP", y());
        ini.writeString("SET1", "C1_03", C1_03->Path().toStdString());
        ini.writeInt("SET1", "C1_02", C1_02->ItemIndex());
        ini.writeInt("SET2", "C2_00", C2_00->ItemIndex());
        for (const IndexKey& k : kIndexKeysSet2) ini.writeInt(k.section, k.key, (this->*k.box)->ItemIndex());
        for (const ValueKey& k : kCropKeys) ini.writeInt(k.section, k.key, (this->*k.edit)->Value());
        for (const IndexKey& k : kIndexKeysSet3) ini.writeInt(k.section, k.key, (this->*k.box)->ItemIndex());
        for (const CheckKey& k : kCheckKeys) ini.writeInt("SET4", k.key, (this->*k.box)->isChecked() ? 1 : 0);
        for (const ValueKey& k : kRangeKeys) ini.writeInt(k.section, k.key, (this->*k.edit)->Value());
        // One atomic replacement: a failed write leaves the old file whole.
        ok = ini.save(file);
    }
    if (!ok) qv::ui::showError(path + QStringLiteral(" に書き込めません."));
}
