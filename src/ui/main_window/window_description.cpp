// The main window's make-up: one table of every control, in the order they are
// stacked, with its place, texts, hint, tab order and handler.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <algorithm>
#include <functional>
#include <vector>

#include "base/palette.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/app_hint.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TBevel.h"
#include "ui/widgets/TGradBox.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TPanel.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfLabel.h"
#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"
#include "ui/widgets/row_height.h"

namespace {

using Handler = void (TMainForm1::*)();
using Parent = QWidget* TMainForm1::*;

// How one kind of control is made and how its event reaches a handler.
struct Kind {
    const char* name;  // the member's name, also the widget's object name
    std::function<QWidget*(QWidget* parent)> make;
    std::function<void(QWidget*, TMainForm1*, Handler)> bind = {};
};

struct Row {
    Kind kind;
    Parent parent;  // nullptr: the window's own surface
    int x, y, w, h;
    const char* text;
    const char* hint;
    int tab;  // place in its panel's tab order; -1 takes no focus
    Handler on = nullptr;
};

constexpr int NT = -1;  // no tab stop
constexpr QRgb kWhite = qv::palette::kWhite;
constexpr QRgb kGrey = qv::palette::kLightGrey;
constexpr QRgb kPink = qv::palette::kVideoTint;
constexpr QRgb kCyan = qv::palette::kAudioTint;
constexpr QRgb kYellow = qv::palette::kOptionsTint;
constexpr int kJobRowHeight = 11;  // px

enum Align { Left, Right };
enum State { On, Off };

QStringList lines(const QString& text) { return text.split(QLatin1Char('\n')); }

Kind controlKind(TGradBox*& m, const char* name, TGradBox::Direction d) {
    return {name, [&m, d](QWidget* p) {
                m = new TGradBox(p);
                m->setDirection(d);
                return m;
            }};
}

Kind controlKind(QWidget*& m, const char* name, bool raised = true) {
    return {name, [&m, raised](QWidget* p) { return m = new TPanel(p, raised); }};
}

Kind controlKind(TShadowLabel*& m, const char* name, Align align, int px = 11) {
    return {name, [&m, align, px](QWidget* p) {
                m = new TShadowLabel(p);
                m->setFont(qv::ui::uiFont(px));
                m->setRightAligned(align == Right);
                m->setAttribute(Qt::WA_TransparentForMouseEvents);
                return m;
            }};
}

Kind controlKind(TdxfLabel*& m, const char* name, QRgb color) {
    return {name, [&m, color](QWidget* p) {
                m = new TdxfLabel(p);
                m->setFont(qv::ui::uiFont(15, true));
                m->setTitleColor(QColor::fromRgb(color));
                m->setAttribute(Qt::WA_TransparentForMouseEvents);
                return m;
            }};
}

Kind controlKind(TBevel*& m, const char* name) {
    return {name, [&m](QWidget* p) {
                m = new TBevel(p);
                m->setAttribute(Qt::WA_TransparentForMouseEvents);
                return m;
            }};
}

Kind controlKind(TdxfColorButton*& m, const char* name, int px, State state = On) {
    return {name,
            [&m, px, state](QWidget* p) {
                m = new TdxfColorButton(p);
                m->setFont(qv::ui::uiFont(px));
                m->setColor(QColor::fromRgb(kWhite));
                m->setCursor(Qt::PointingHandCursor);
                m->setFocusPolicy(Qt::NoFocus);
                m->setEnabled(state == On);
                return m;
            },
            [](QWidget* w, TMainForm1* f, Handler h) {
                QObject::connect(static_cast<TdxfColorButton*>(w), &TdxfColorButton::OnClick, f, h);
            }};
}

Kind controlKind(TMultiColComboBox*& m, const char* name,
                 std::vector<std::pair<int, QRgb>> columns) {
    return {name, [&m, columns](QWidget* p) {
                m = new TMultiColComboBox(p);
                std::vector<TMultiColComboBox::Column> cols;
                for (auto [width, color] : columns) cols.push_back({width, QColor::fromRgb(color)});
                m->setColumns(std::move(cols));
                m->setFont(qv::ui::uiFont(11));
                QPalette pal = m->palette();
                pal.setColor(QPalette::Text, qv::ui::colour(qv::palette::kControlText));
                m->setPalette(pal);
                m->setColor(QColor::fromRgb(kWhite));
                m->setCursor(Qt::PointingHandCursor);
                m->setFocusPolicy(Qt::StrongFocus);
                return m;
            }};
}

Kind controlKind(TLMDSpinEdit*& m, const char* name, int max) {
    return {name, [&m, max](QWidget* p) {
                m = new TLMDSpinEdit(p);
                m->setFont(qv::ui::uiFont(11));
                m->setRange(0, max);
                m->setMaxLength(3);
                m->setColor(QColor::fromRgb(kWhite));
                return m;
            }};
}

Kind controlKind(TLMDBrowseEdit*& m, const char* name) {
    return {name, [&m](QWidget* p) {
                m = new TLMDBrowseEdit(p);
                m->setFont(qv::ui::uiFont(11));
                // Where a results folder is first offered: the user's documents folder.
                m->setPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
                m->lineEdit()->setCursorPosition(0);
                return m;
            }};
}

Kind controlKind(QListWidget*& m, const char* name) {
    return {name, [&m](QWidget* p) {
                m = new QListWidget(p);
                m->setFont(qv::ui::uiFont(11));
                m->setSelectionMode(QAbstractItemView::SingleSelection);
                m->setItemDelegate(new RowHeight(kJobRowHeight, m));
                m->setUniformItemSizes(true);
                QPalette pal = m->palette();
                pal.setColor(QPalette::Base, Qt::white);
                pal.setColor(QPalette::Text, Qt::black);
                m->setPalette(pal);
                return m;
            }};
}

Kind controlKind(QCheckBox*& m, const char* name) {
    return {name, [&m](QWidget* p) {
                m = new QCheckBox(p);  // its text is the label beside it
                m->setCursor(Qt::PointingHandCursor);
                return m;
            }};
}

Kind controlKind(QPlainTextEdit*& m, const char* name) {
    return {name, [&m](QWidget* p) {
                m = new QPlainTextEdit(p);
                m->setLineWrapMode(QPlainTextEdit::NoWrap);
                m->hide();
                return m;
            }};
}

}  // namespace

// A control's kind follows its member's type; the member's name is also the
// widget's object name, and only the preprocessor can spell it.
#define QV_CONTROL(member, ...) controlKind(member, #member __VA_OPT__(, ) __VA_ARGS__)

void TMainForm1::buildWindow() {
    using T = TMainForm1;
    using D = TGradBox::Direction;
    constexpr Parent Win = nullptr;
    constexpr Parent P5 = &T::Panel5, P1 = &T::Panel1, P4 = &T::Panel4, P2 = &T::Panel2,
                     P3 = &T::Panel3;

    // clang-format off
    const Row rows[] = {
    // kind                                          parent   x    y    w    h   text                                              hint                                   tab  handler
    // regions
    {QV_CONTROL(GradBox6, D::TopToBottom),            Win,     0,   0, 514,  20, "",                                               "",                                    NT},
    {QV_CONTROL(GradBox5, D::TopToBottom),            Win,     0, 567, 514,  16, "",                                               "",                                    NT},
    {QV_CONTROL(GradBox4, D::LeftToRight),            Win,   446,  20,  68, 547, "",                                               "",                                    NT},
    {QV_CONTROL(Panel5, false),                       Win,     0,  20, 445, 546, "",                                               "",                                    NT},
    {QV_CONTROL(Panel1),                              P5,      0,   0, 445, 160, "",                                               "",                                    NT},
    {QV_CONTROL(GradBox1, D::TopToBottom),            P1,      1,   1, 443, 158, "",                                               "",                                    NT},
    {QV_CONTROL(Panel4),                              P5,      0, 160, 445, 160, "",                                               "",                                    NT},
    {QV_CONTROL(GradBox2, D::TopToBottom),            P4,      1,   1, 443, 158, "",                                               "",                                    NT},
    {QV_CONTROL(Panel2),                              P5,      0, 320, 445,  88, "",                                               "",                                    NT},
    {QV_CONTROL(GradBox3, D::TopToBottom),            P2,      1,   1, 443,  86, "",                                               "",                                    NT},
    {QV_CONTROL(Panel3),                              P5,      0, 408, 445, 138, "",                                               "",                                    NT},
    {QV_CONTROL(GradBox7, D::TopToBottom),            P3,      1,   1, 443, 136, "",                                               "",                                    NT},
    // top bar, bottom bar, right column
    {QV_CONTROL(ShadowLabel1, Left),                  Win,     6,   5, 262,  11, qv::ui::kDropPrompt,                                   "",                                    NT},
    {QV_CONTROL(CButton4, 11),                        Win,   358,   3,  76,  14, "ｲﾝﾌｫﾒｰｼｮﾝ",                                      " インフォメーションの表示",           NT, &T::CButton4Click},
    {QV_CONTROL(CButton3, 12),                        Win,   448,   3,  18,  14, "？",                                             " ユーザーズガイド",                   NT, &T::CButton3Click},
    {QV_CONTROL(CButton2, 12),                        Win,   468,   3,  18,  14, "＿",                                             " 最小化",                             NT, &T::CButton2Click},
    {QV_CONTROL(CButton1, 12),                        Win,   488,   3,  18,  14, "×",                                             " 閉じる",                             NT, &T::CButton1Click},
    {QV_CONTROL(ShadowLabel2, Left),                  Win,     6, 569, 180,  11, "MERAVO -Quorvane! Request Ver.5.7",              "",                                    NT},
    {QV_CONTROL(ShadowLabel3, Right, 9),              Win,   221, 570, 288,   9, "Support : AVI, MPEG1/2/4, 3GPP, WMV, ASF, RM, MOV, OGM, SWF, FLV", "",              NT},
    {QV_CONTROL(CButton10, 16, Off),                  Win,   452,  34,  57, 352, "G\nｏ\n !",                                      " 変換処理の実行",                     NT, &T::CButton10Click},
    {QV_CONTROL(CButton14, 16, Off),                  Win,   452, 400,  57,  92, "ﾌﾟﾚﾋﾞｭｰ",                                        " プレビュー(30秒)変換処理の実行",     NT, &T::CButton14Click},
    {QV_CONTROL(CButton11, 16),                       Win,   452, 500,  57,  56, "設定\n保存",                                     " オリジナル設定の保存",               NT, &T::CButton11Click},
    // targets panel
    {QV_CONTROL(dLabel1, kWhite),                     P1,      2,  12,  20, 110, "変換対象ﾌｧｲﾙ",                                   "",                                    NT},
    {QV_CONTROL(Bevel1),                              P1,     22,   6, 413, 123, "",                                               "",                                    NT},
    {QV_CONTROL(L0_01, Right),                        P1,     29,  14,  56,  11, "対象ﾌｧｲﾙ ：",                                    "",                                    NT},
    {QV_CONTROL(CButton12, 11),                       P1,     27,  30,  57,  16, "ｸﾘｱ→",                                          " 登録したファイルのクリア",           NT, &T::CButton12Click},
    {QV_CONTROL(CButton13, 11),                       P1,     27,  50,  57,  46, "再生",                                           " プレビュー画面の表示",               NT, &T::CButton13Click},
    {QV_CONTROL(ListBox1),                            P1,     88,  10, 340,  92, "",                                               " 変換対象ファイル",                    0},
    {QV_CONTROL(L0_02, Right),                        P1,     42, 110,  42,  11, "保存先 ：",                                      "",                                    NT},
    {QV_CONTROL(C1_02, {{122, kWhite}, {160, kGrey}}), P1,    88, 104, 142,  19, "",                                               " 動画ﾌｧｲﾙの保存先",                    1},
    {QV_CONTROL(L0_03, Right),                        P1,    246, 110,  37,  11, "ﾌｫﾙﾀﾞ ：",                                       "",                                    NT},
    {QV_CONTROL(C1_03),                               P1,    286, 104, 142,  19, "",                                               " 保存先のﾌｫﾙﾀﾞ",                       2},
    {QV_CONTROL(L1_00, Right),                        P1,     33, 138,  51,  11, "おまかせ ：",                                    "",                                    NT},
    {QV_CONTROL(C2_00, {{180, kWhite}, {60, kGrey}, {60, kPink}, {70, kPink}, {60, kPink}, {60, kPink},
                         {60, kCyan}, {60, kCyan}, {60, kCyan}, {60, kCyan}}),
                                                      P1,     88, 134, 340,  19, "",                                               " おまかせ設定",                        3},
    {QV_CONTROL(Memo0),                               P1,     96, 127,  29,  25, "",                                               "",                                     6},
    // video panel
    {QV_CONTROL(dLabel2, kPink),                      P4,      2,  48,  20,  70, "動画設定",                                       "",                                    NT},
    {QV_CONTROL(Bevel2),                              P4,     22,   6, 205,  28, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel3),                              P4,     22,  34, 205,  48, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel4),                              P4,    230,   6, 205,  76, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel10),                             P4,     22,  84, 413,  72, "",                                               "",                                    NT},
    {QV_CONTROL(L2_01, Right),                        P4,     28,  14,  56,  11, "ﾌｧｲﾙ形式 ：",                                    "",                                    NT},
    {QV_CONTROL(C2_01, {{112, kWhite}, {130, kGrey}}), P4,    88,  10, 132,  19, "",                                               " 動画のﾌｧｲﾙ形式(ｺﾝﾃﾅ)",                 0},
    {QV_CONTROL(L2_02, Right),                        P4,     52,  42,  32,  11, "ｻｲｽﾞ ：",                                        "",                                    NT},
    {QV_CONTROL(C2_02, {{112, kWhite}, {100, kGrey}}), P4,    88,  38, 132,  19, "",                                               " 動画のｻｲｽﾞ",                          1},
    {QV_CONTROL(L2_03, Right),                        P4,     29,  62,  55,  11, "ｱｽﾍﾟｸﾄ比 ：",                                    "",                                    NT},
    {QV_CONTROL(C2_03, {{112, kWhite}, {110, kGrey}}), P4,    88,  58, 132,  19, "",                                               " 動画のｱｽﾍﾟｸﾄ比",                      2},
    {QV_CONTROL(L2_04, Right),                        P4,    248,  14,  44,  11, "ｺｰﾃﾞｯｸ ：",                                      "",                                    NT},
    {QV_CONTROL(C2_04, {{112, kWhite}, {160, kGrey}}), P4,   296,  10, 132,  19, "",                                               " 動画のｺｰﾃﾞｯｸ",                        3},
    {QV_CONTROL(L2_06, Right),                        P4,    239,  42,  53,  11, "ﾌﾚｰﾑﾚｰﾄ ：",                                     "",                                    NT},
    {QV_CONTROL(C2_06, {{112, kWhite}, {110, kGrey}}), P4,   296,  38, 132,  19, "",                                               " 動画のﾌﾚｰﾑﾚｰﾄ",                       4},
    {QV_CONTROL(L2_05, Right),                        P4,    245,  62,  47,  11, "ﾋﾞｯﾄﾚｰﾄ ：",                                     "",                                    NT},
    {QV_CONTROL(C2_05, {{112, kWhite}, {100, kGrey}}), P4,   296,  58, 132,  19, "",                                               " 動画のﾋﾞｯﾄﾚｰﾄ",                       5},
    {QV_CONTROL(L2_07, Left),                         P4,     44,  88,  40,  11, "ﾄﾘﾐﾝｸﾞ ：",                                      "",                                    NT},
    {QV_CONTROL(L2_07_1, Left),                       P4,    212,  88,  33,  11, "↓上辺",                                         "",                                    NT},
    {QV_CONTROL(C2_07_1, 99999),                      P4,    204,  98,  50,  19, "0",                                              " 上辺からの切取り幅(ﾋﾟｸｾﾙ単位)",         7},
    {QV_CONTROL(L2_07_3, Left),                       P4,    120, 112,  33,  11, "左辺→",                                         "",                                    NT},
    {QV_CONTROL(C2_07_3, 99999),                      P4,    154, 108,  50,  19, "0",                                              " 左辺からの切取り幅(ﾋﾟｸｾﾙ単位)",         6},
    {QV_CONTROL(C2_07_4, 99999),                      P4,    254, 108,  50,  19, "0",                                              " 右辺からの切取り幅(ﾋﾟｸｾﾙ単位)",         8},
    {QV_CONTROL(L2_07_4, Left),                       P4,    310, 112,  33,  11, "←右辺",                                         "",                                    NT},
    {QV_CONTROL(C2_07_2, 99999),                      P4,    204, 118,  50,  19, "0",                                              " 下辺からの切取り幅(ﾋﾟｸｾﾙ単位)",         9},
    {QV_CONTROL(L2_07_2, Left),                       P4,    211, 141,  33,  11, "↑下辺",                                         "",                                    NT},
    // audio panel
    {QV_CONTROL(dxfLabel1, kCyan),                    P2,      2,   8,  20,  70, "音声設定",                                       "",                                    NT},
    {QV_CONTROL(Bevel5),                              P2,     22,   6, 205,  28, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel9),                              P2,     22,  34, 205,  48, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel6),                              P2,    230,   6, 205,  76, "",                                               "",                                    NT},
    {QV_CONTROL(L3_04, Right),                        P2,     42,  14,  42,  11, "ﾁｬﾝﾈﾙ ：",                                       "",                                    NT},
    {QV_CONTROL(C3_04, {{112, kWhite}, {110, kGrey}}), P2,    88,  10, 132,  19, "",                                               " 音声のﾁｬﾝﾈﾙ",                         0},
    {QV_CONTROL(L3_05, Right),                        P2,     31,  42,  53,  11, "音量補正 ：",                                    "",                                    NT},
    {QV_CONTROL(C3_05, {{112, kWhite}, {110, kGrey}}), P2,    88,  38, 132,  19, "",                                               " 音声のﾎﾞﾘｭｰﾑ",                        1},
    {QV_CONTROL(L3_06, Right),                        P2,     26,  62,  58,  11, "音ｽﾞﾚ補正 ：",                                   "",                                    NT},
    {QV_CONTROL(C3_06, {{112, kWhite}, {110, kGrey}}), P2,    88,  58, 132,  19, "",                                               " 音声のｽﾞﾚ補正間隔",                   5},
    {QV_CONTROL(L3_01, Right),                        P2,    248,  14,  44,  11, "ｺｰﾃﾞｯｸ ：",                                      "",                                    NT},
    {QV_CONTROL(C3_01, {{112, kWhite}, {220, kGrey}}), P2,   296,  10, 132,  19, "",                                               " 音声のｺｰﾃﾞｯｸ",                        2},
    {QV_CONTROL(L3_03, Right),                        P2,    236,  42,  56,  11, "ｻﾝﾌﾟﾙﾚｰﾄ ：",                                    "",                                    NT},
    {QV_CONTROL(C3_03, {{112, kWhite}, {120, kGrey}}), P2,   296,  38, 132,  19, "",                                               " 音声のｻﾝﾌﾟﾙﾚｰﾄ",                      3},
    {QV_CONTROL(L3_02, Right),                        P2,    245,  62,  47,  11, "ﾋﾞｯﾄﾚｰﾄ ：",                                     "",                                    NT},
    {QV_CONTROL(C3_02, {{112, kWhite}, {110, kGrey}}), P2,   296,  58, 132,  19, "",                                               " 音声のﾋﾞｯﾄﾚｰﾄ",                       4},
    // options panel
    {QV_CONTROL(dxfLabel2, kYellow),                  P3,      2,  26,  20,  83, "オプション",                                     "",                                    NT},
    {QV_CONTROL(Bevel7),                              P3,     22,   6, 413,  40, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel8),                              P3,     22,  46, 413,  40, "",                                               "",                                    NT},
    {QV_CONTROL(Bevel11),                             P3,     22,  86, 413,  46, "",                                               "",                                    NT},
    {QV_CONTROL(CheckBox1),                           P3,     28,  12,  12,  12, "",                                               "",                                     0},
    {QV_CONTROL(L4_01, Left),                         P3,     46,  13, 295,  11, "2ﾊﾟｽｴﾝｺｰﾄﾞ (動画品質向上しますが,変換時間は2倍になります)", "",                     NT},
    {QV_CONTROL(CheckBox2),                           P3,     28,  28,  12,  12, "",                                               "",                                     3},
    {QV_CONTROL(ShadowLabel4, Left),                  P3,     46,  29, 365,  11, "ﾏﾙﾁｽﾚｯﾄﾞ高速変換 (ﾏﾙﾁｽﾚｯﾄﾞ対応CPU<Core2Duo等>以外はｴﾗｰになります)", "",       NT},
    {QV_CONTROL(CheckBox3),                           P3,     28,  52,  12,  12, "",                                               "",                                     1},
    {QV_CONTROL(L4_02, Left),                         P3,     46,  53,  95,  11, "動画像を無効にする",                             "",                                    NT},
    {QV_CONTROL(CheckBox4),                           P3,     28,  68,  12,  12, "",                                               "",                                     2},
    {QV_CONTROL(L4_03, Left),                         P3,     46,  69,  84,  11, "音声を無効にする",                               "",                                    NT},
    {QV_CONTROL(CheckBox5),                           P3,     28,  92,  12,  12, "",                                               "",                                    10},
    {QV_CONTROL(L4_04, Left),                         P3,     46,  93, 340,  11, "変換範囲を指定する (動画の尺を超えた範囲を指定するとｴﾗｰになります)", "",         NT},
    {QV_CONTROL(C4_01_1, 99),                         P3,     44, 106,  40,  19, "0",                                              " 変換開始位置(時：分：秒単位)",          4},
    {QV_CONTROL(L4_04_1, Left),                       P3,     88, 113,  11,  11, "時",                                             "",                                    NT},
    {QV_CONTROL(C4_01_2, 59),                         P3,    104, 106,  40,  19, "0",                                              " 変換開始位置(時：分：秒単位)",          5},
    {QV_CONTROL(L4_04_2, Left),                       P3,    148, 113,  11,  11, "分",                                             "",                                    NT},
    {QV_CONTROL(C4_01_3, 59),                         P3,    164, 106,  40,  19, "0",                                              " 変換開始位置(時：分：秒単位)",          6},
    {QV_CONTROL(L4_04_3, Left),                       P3,    208, 113,  31,  11, "秒から",                                         "",                                    NT},
    {QV_CONTROL(C4_01_4, 99),                         P3,    240, 106,  40,  19, "0",                                              " 変換終了位置(時：分：秒単位)",          7},
    {QV_CONTROL(L4_04_4, Left),                       P3,    284, 113,  11,  11, "時",                                             "",                                    NT},
    {QV_CONTROL(C4_01_5, 59),                         P3,    300, 106,  40,  19, "0",                                              " 変換終了位置(時：分：秒単位)",          8},
    {QV_CONTROL(L4_04_5, Left),                       P3,    344, 113,  11,  11, "分",                                             "",                                    NT},
    {QV_CONTROL(C4_01_6, 59),                         P3,    360, 106,  40,  19, "0",                                              " 変換終了位置(時：分：秒単位)",          9},
    {QV_CONTROL(L4_04_6, Left),                       P3,    404, 113,  22,  11, "秒間",                                           "",                                    NT},
    };
    // clang-format on

    setWindowTitle(qv::ui::kAppTitle);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setFixedSize(514, 583);
    setFont(qv::ui::uiFont(12));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    move(20, 20);

    struct Stop {
        int panel, tab;
        QWidget* w;
    };
    std::vector<Stop> stops;
    std::vector<Parent> panelOrder;
    std::vector<QWidget*> decoration;  // kept below the controls, frames above gradients
    std::vector<QWidget*> gradients;
    for (const Row& r : rows) {
        QWidget* parent = r.parent ? this->*r.parent : this;
        // The text of a shadowed label follows its geometry (a right-aligned one keeps
        // its right edge), so place first and give the text afterwards.
        QWidget* w = r.kind.make(parent);
        w->setObjectName(QLatin1String(r.kind.name));
        controls_[r.kind.name] = w;
        w->setGeometry(r.x, r.y, r.w, r.h);
        if (auto* l = qobject_cast<TShadowLabel*>(w))
            l->setCaption(QString::fromUtf8(r.text));
        else if (auto* t = qobject_cast<TdxfLabel*>(w))
            t->setCaption(QString::fromUtf8(r.text));
        else if (auto* b = qobject_cast<TdxfColorButton*>(w))
            b->setCaption(lines(QString::fromUtf8(r.text)));
        else if (auto* s = qobject_cast<TLMDSpinEdit*>(w))
            s->setValue(QString::fromUtf8(r.text).toInt());
        if (*r.hint) w->setToolTip(QString::fromUtf8(r.hint));
        if (r.on && r.kind.bind) r.kind.bind(w, this, r.on);
        if (qobject_cast<TGradBox*>(w)) gradients.push_back(w);
        if (qobject_cast<TBevel*>(w)) decoration.push_back(w);
        if (r.tab >= 0) {
            auto at = std::find(panelOrder.begin(), panelOrder.end(), r.parent);
            if (at == panelOrder.end()) at = panelOrder.insert(panelOrder.end(), r.parent);
            stops.push_back({static_cast<int>(at - panelOrder.begin()), r.tab, w});
        } else if (w->focusPolicy() != Qt::NoFocus && !dynamic_cast<TPanel*>(w)) {
            w->setFocusPolicy(Qt::NoFocus);
        }
    }
    for (QWidget* w : decoration) w->lower();
    for (QWidget* w : gradients) w->lower();

    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
        return a.panel != b.panel ? a.panel < b.panel : a.tab < b.tab;
    });
    for (size_t i = 1; i < stops.size(); ++i) setTabOrder(stops[i - 1].w, stops[i].w);

    AppHint1 = new TAppHint(this);
}

#undef QV_CONTROL
