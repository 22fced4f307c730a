#pragma once
// The main window. Members carry the names of the window description; the
// handlers are split over the files of this folder by the subsystem they serve.
#include <QString>
#include <QWidget>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_journal.h"
#include "settings/conversion_settings.h"
#include "settings/preset_file.h"
#include "ui/progress/batch_host.h"
#include "ui/services/end_requests.h"
#include "ui/widgets/window_drag.h"

class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class TMultiColComboBox;
class TLMDSpinEdit;
class TLMDBrowseEdit;
class TdxfColorButton;
class TShadowLabel;
class TdxfLabel;
class TGradBox;
class TBevel;
class TAppHint;

class TMainForm1 : public QWidget, public TRunRecord, public TBatchHost {
    Q_OBJECT
  public:
    // programFolder: the folder of the running executable (empty: the folder of
    // the running program's file). args: command-line arguments 1..n, as the
    // platform gave their bytes.
    explicit TMainForm1(const QString& programFolder = {}, std::vector<std::string> args = {});
    ~TMainForm1() override;

    // --- the window description (window_description.cpp) ---
    TGradBox *GradBox1, *GradBox2, *GradBox3, *GradBox4, *GradBox5, *GradBox6, *GradBox7;
    QWidget *Panel1, *Panel2, *Panel3, *Panel4, *Panel5;
    TShadowLabel *ShadowLabel1, *ShadowLabel2, *ShadowLabel3, *ShadowLabel4;
    TdxfColorButton *CButton1, *CButton2, *CButton3, *CButton4;
    TdxfColorButton *CButton10, *CButton11, *CButton12, *CButton13, *CButton14;
    TdxfLabel *dLabel1, *dLabel2, *dxfLabel1, *dxfLabel2;
    TBevel *Bevel1, *Bevel2, *Bevel3, *Bevel4, *Bevel5, *Bevel6, *Bevel7, *Bevel8, *Bevel9,
        *Bevel10, *Bevel11;
    // targets panel
    TShadowLabel *L0_01, *L0_02, *L0_03, *L1_00;
    QListWidget* ListBox1;
    TMultiColComboBox* C1_02;
    TLMDBrowseEdit* C1_03;
    TMultiColComboBox* C2_00;
    QPlainTextEdit* Memo0;
    // video panel
    TShadowLabel *L2_01, *L2_02, *L2_03, *L2_04, *L2_05, *L2_06, *L2_07, *L2_07_1, *L2_07_2,
        *L2_07_3, *L2_07_4;
    TMultiColComboBox *C2_01, *C2_02, *C2_03, *C2_04, *C2_05, *C2_06;
    TLMDSpinEdit *C2_07_1, *C2_07_2, *C2_07_3, *C2_07_4;
    // audio panel
    TShadowLabel *L3_01, *L3_02, *L3_03, *L3_04, *L3_05, *L3_06;
    TMultiColComboBox *C3_01, *C3_02, *C3_03, *C3_04, *C3_05, *C3_06;
    // options panel
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5;
    TShadowLabel *L4_01, *L4_02, *L4_03, *L4_04, *L4_04_1, *L4_04_2, *L4_04_3, *L4_04_4, *L4_04_5,
        *L4_04_6;
    TLMDSpinEdit *C4_01_1, *C4_01_2, *C4_01_3, *C4_01_4, *C4_01_5, *C4_01_6;
    // the application's hint balloons (ui/services/app_hint.h)
    TAppHint* AppHint1 = nullptr;

    // --- state ---
    std::string ProgramFolder;  // the platform's bytes, whatever they are
    int Tag = 0;
    std::vector<std::string> Arguments;  // command-line paths 1..n
    // SourcePath, DestPath, QuotedDestPath, PreviewMode and ProcessInfo: see TRunRecord.

    // Stored preset lines, as read (bytes of the file, without line breaks).
    std::vector<std::string> PresetLines;
    bool PresetFileEndsWithBreak = false;  // saving keeps the file's final line break as it was

    // The settings as the controls hold them now (main_form.cpp).
    qv::ConversionSettings settings() const;
    std::string settingsFilePath() const;  // "Quorvane_R.ini" in qv::settingsFolder(ProgramFolder)
    // The setting control a row of the control table names.
    QWidget* control(const qv::ControlEntry& entry) const;

    // Job list (job_list.cpp). Entries are kept as the platform's bytes. One call is one
    // intake: what the path brings is queued, and what it cannot be is named afterwards.
    void AddSourcePath(const std::string& path);
    int jobCount() const override;
    std::string jobAt(int index) const override;

    // What a batch run reads and writes (run_buttons.cpp).
    QWidget& batchWindow() override { return *this; }
    qv::ConversionSettings settingsSnapshot() const override { return settings(); }
    std::string programFolder() const override { return ProgramFolder; }
    void showStatus(const QString& text) override;
    TRunRecord& runRecord() override { return *this; }
    int parallelJobs() const override;
    // The JOBS setting: 1 one conversion at a time, 2 to 16 at once, 0 automatic.
    int Jobs = 1;
    // The Go! button's right-click menu that sets Jobs.
    void showJobsMenu(const QPoint& at);
    // Batches that ended with their program, offered one by one: each one the user takes up
    // is queued and run with its own settings; each one is forgotten once answered.
    void resumeAbandonedBatches(std::vector<qv::AbandonedBatch>& batches);

  public slots:
    // frame (main_form.cpp)
    void FormActivate();
    void CButton1Click();
    void CButton2Click();
    void CButton3Click();
    void CButton4Click();
    // editing rules (main_form.cpp)
    void C1_02Change();
    void C1_03Change();
    void CheckBox5Click();
    // settings file and presets (settings_file.cpp, presets.cpp)
    void FormClose();
    void C2_00Change();
    void CButton11Click();
    // job list (job_list.cpp)
    void CButton12Click();
    // batch run (run_buttons.cpp)
    void CButton10Click();
    void CButton13Click();
    void CButton14Click();

  public:
    // Reads the settings file into the controls (steps of the first activation).
    void applySettingsFile();
    // Reads profile.txt into PresetLines and the rows of C2_00; throws when it cannot.
    void loadPresets();
    // Makes the preset lines PresetLines, the rows of C2_00 after the manual row and Memo0.
    void showPresets(qv::PresetFile file);
    // Gives the command-line arguments to the job list.
    void takeArguments();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildWindow();  // the window description
    // One intake of several paths (a drop, the command line): one message at its end.
    void takePaths(const std::vector<std::string>& paths);
    // What a change of a setting control sets off: its tint, and what its role asks for.
    void controlChanged(const qv::ControlEntry& entry);
    // Connects every setting control's change to controlChanged.
    void connectControls();

    std::map<std::string, QWidget*, std::less<>> controls_;  // by object name
    WindowDrag drag_{*this};
    bool settingsWritten_ = false;  // by the close
    // Should the process end without the close (the display is gone), the settings are still
    // kept; made once they have been applied, and so after what writing them needs.
    std::optional<qv::ui::AtForcedExit> saveAtExit_;
};

extern TMainForm1* MainForm1;

namespace qv::ui {
// The status line while the job list is empty.
inline constexpr char kDropPrompt[] = "変換元の動画ファイル or フォルダをドロップしてください。";
}  // namespace qv::ui
