// Where a results folder is first offered when the settings file names none: the documents
// folder the desktop's folder list names, else the home's Documents.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/file_places.h"
#include "support/environment_guard.h"
#include "support/temp_folder.h"

namespace {

struct DocumentsCase {
    const char* name;
    const char* list;      // user-dirs.dirs; nullptr for none
    const char* expected;  // under the home
};

class DocumentsFolder : public ::testing::TestWithParam<DocumentsCase> {};

TEST_P(DocumentsFolder, FollowsTheUsersFolderList) {
    const DocumentsCase& c = GetParam();
    qvtest::EnvironmentGuard guard;
    qvtest::TempFolder home("documents_folder");
    qvtest::EnvironmentGuard::set("HOME", home.path().string());
    qvtest::EnvironmentGuard::set("XDG_CONFIG_HOME", home.at("config"));
    if (c.list) {
        std::filesystem::create_directories(home.at("config"));
        std::ofstream(home.at("config/user-dirs.dirs")) << c.list;
    }
    EXPECT_EQ(qv::documentsFolder(), home.path().string() + c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DocumentsFolder,
    ::testing::Values(
        DocumentsCase{"NoList", nullptr, "/Documents"},
        DocumentsCase{"UnderHome",
                      "XDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs/\"\n",
                      "/Docs"},
        DocumentsCase{"ListWithoutIt", "# nothing\nXDG_MUSIC_DIR=\"$HOME/M\"\n", "/Documents"},
        DocumentsCase{"RelativeIgnored", "XDG_DOCUMENTS_DIR=\"Docs\"\n", "/Documents"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
