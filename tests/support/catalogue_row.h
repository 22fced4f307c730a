#pragma once
// Catalogue rows by their text, for the core tests.
#include <gtest/gtest.h>

#include <string_view>

#include "settings/catalogues.h"

namespace qvtest {

// Index of the row with this exact text; fails the test when there is none.
inline int rowOf(qv::CatalogueId id, std::string_view text) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == text) return static_cast<int>(i);
    ADD_FAILURE() << "no row " << text;
    return -1;
}

}  // namespace qvtest
