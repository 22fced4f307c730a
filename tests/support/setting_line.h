#pragma once
// One line of the settings file that picks a catalogue row by its first column.
#include <QByteArray>

#include "settings/catalogues.h"
#include "settings/column_split.h"

namespace qvtest {

// "NAME=<row>\r\n"; -1 when no row's first column is `value`, as a file may hold.
inline QByteArray settingLine(const char* name, qv::CatalogueId id, const char* value) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (qv::columnOf(rows[i], 0) == value)
            return QByteArray(name) + "=" + QByteArray::number(static_cast<int>(i)) + "\r\n";
    return QByteArray(name) + "=-1\r\n";
}

}  // namespace qvtest
