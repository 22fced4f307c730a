// Prints the rows of the container, video codec and audio codec lists as tab-separated
// lines (list, index, row text) for scripts/support_table.sh.
#include <cstdio>
#include <string>

#include "settings/catalogues.h"

int main() {
    const struct {
        const char* name;
        qv::CatalogueId id;
    } lists[] = {{"C2_01", qv::CatalogueId::C2_01},
                 {"C2_04", qv::CatalogueId::C2_04},
                 {"C3_01", qv::CatalogueId::C3_01}};
    for (const auto& list : lists) {
        const auto rows = qv::catalogue(list.id);
        for (size_t i = 0; i < rows.size(); ++i)
            std::printf("%s\t%zu\t%.*s\n", list.name, i, static_cast<int>(rows[i].size()),
                        rows[i].data());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
