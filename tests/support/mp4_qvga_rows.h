#pragma once
// The drop-down rows of an MP4 job at 320x240 with AAC sound, chosen on a main window
// by value.
#include <QString>

#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/widgets/TMultiColComboBox.h"

namespace qvtest {

// The row whose value column is exactly value; -1 when there is none.
inline int rowWithValue(qv::CatalogueId id, const char* value) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (qv::columnOf(rows[i], 0) == value) return static_cast<int>(i);
    return -1;
}

// Container, picture and sound rows (volume and delay are left alone).
// Gives the value of a row the catalogues lack; empty once every row is chosen.
inline QString chooseMp4QvgaRows(TMainForm1& w) {
    using qv::CatalogueId;
    const struct {
        TMultiColComboBox* box;
        CatalogueId id;
        const char* value;
    } rows[] = {{w.C2_01, CatalogueId::C2_01, "MP4"},     {w.C2_02, CatalogueId::C2_02, "320x240"},
                {w.C2_03, CatalogueId::C2_03, "4:3"},     {w.C2_04, CatalogueId::C2_04, "MPEG4"},
                {w.C2_05, CatalogueId::C2_05, "768kbps"}, {w.C2_06, CatalogueId::C2_06, "29.97fps"},
                {w.C3_01, CatalogueId::C3_01, "LIBFAAC"}, {w.C3_02, CatalogueId::C3_02, "128kbps"},
                {w.C3_03, CatalogueId::C3_03, "44100Hz"}, {w.C3_04, CatalogueId::C3_04, "2"}};
    for (const auto& r : rows) {
        const int row = rowWithValue(r.id, r.value);
        if (row <= 0) return QString::fromUtf8(r.value);
        r.box->setItemIndex(row);
    }
    return {};
}

}  // namespace qvtest
