#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/conversion_settings.h"

namespace {

using qv::ControlEntry;
using qv::ControlKind;
using qv::kControls;

// Every control names the field it fills and a key of its own in the settings file.
TEST(ControlTable, EachControlHasOneFieldAndOneKey) {
    std::set<std::string> names, keys;
    for (const ControlEntry& c : kControls) {
        EXPECT_TRUE(names.insert(std::string(c.name)).second) << c.name;
        EXPECT_TRUE(keys.insert(std::string(c.section) + "/" + std::string(c.key)).second)
            << c.name;
        const int fields = (c.number != nullptr) + (c.flag != nullptr) + (c.text != nullptr);
        EXPECT_EQ(fields, 1) << c.name;
        switch (c.kind) {
            case ControlKind::Index:
            case ControlKind::Value:
                EXPECT_NE(c.number, nullptr) << c.name;
                break;
            case ControlKind::Check:
                EXPECT_NE(c.flag, nullptr) << c.name;
                break;
            case ControlKind::Folder:
                EXPECT_NE(c.text, nullptr) << c.name;
                break;
        }
        EXPECT_EQ(c.inRange, !c.rangeLabel.empty()) << c.name;
    }
}

// A preset row's columns 1..9 drive the nine catalogue controls, in that order.
TEST(ControlTable, PresetColumnsRunWithoutGaps) {
    const auto driven = qv::presetDrivenControls();
    const char* const expected[] = {"C2_01", "C2_02", "C2_04", "C2_06", "C2_05",
                                    "C3_04", "C3_01", "C3_03", "C3_02"};
    ASSERT_EQ(driven.size(), std::size(expected));
    for (std::size_t i = 0; i < driven.size(); ++i) {
        EXPECT_EQ(driven[i]->name, expected[i]);
        EXPECT_EQ(driven[i]->presetColumn, static_cast<int>(i) + 1);
        EXPECT_TRUE(driven[i]->catalogue) << driven[i]->name;
    }
}

// The settings record and the table agree: a control's field takes what it is given.
TEST(ControlTable, FieldsReachTheSettingsRecord) {
    qv::ConversionSettings s;
    int n = 1;
    for (const ControlEntry& c : kControls) {
        if (c.number) s.*c.number = n++;
        if (c.flag) s.*c.flag = true;
        if (c.text) s.*c.text = "/out";
    }
    EXPECT_EQ(s.C1_02, 1);
    EXPECT_EQ(s.C2_00, 2);
    EXPECT_EQ(s.C4_01_6, n - 1);
    EXPECT_EQ(s.C1_03, "/out");
    EXPECT_TRUE(s.CheckBox1 && s.CheckBox2 && s.CheckBox3 && s.CheckBox4 && s.CheckBox5);
}

}  // namespace
