#include "run/job_intake.h"

#include <sys/stat.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "run/search_file.h"

namespace qv {

namespace {

const std::string kTooLong = "パスが長すぎます";
const std::string kNoAccess = "読み取りが許可されていません";
const std::string kWholeFileSystem = "ファイルシステム全体は加えられません";

// Searching the whole file system would take a very long time.
bool isRoot(const std::string& path) {
    return !path.empty() && path.find_first_not_of('/') == std::string::npos;
}

// Nothing is there to queue.
bool missing(int error) { return error == ENOENT || error == ENOTDIR; }

std::string reasonFor(int error) {
    switch (error) {
        case ENAMETOOLONG:
            return kTooLong;
        case EACCES:
        case EPERM:
            return kNoAccess;
        default:
            return "読み取れません (" + std::string(std::strerror(error)) + ")";
    }
}

std::u16string utf16(const std::string& bytes) {
    std::u16string out(bytes.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                         &length, bytes.data(), static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr,
                         &status);
    if (U_FAILURE(status)) return {};
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// The locale the window's toolkit takes as the user's: the first of LC_ALL, LC_MESSAGES and
// LANG that is set, without its encoding and modifier.
std::string userLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string locale = value;
            locale = locale.substr(0, locale.find_first_of(".@"));
            return locale;
        }
    }
    return {};
}

// Case folded, for the plain locales where no collation applies.
std::u16string folded(const std::string& bytes) {
    std::u16string text = utf16(bytes);
    std::u16string out(text.size() * 3 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n =
        u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                      reinterpret_cast<const UChar*>(text.data()),
                      static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) return text;
    out.resize(static_cast<std::size_t>(n));
    return out;
}

}  // namespace

void takeJobs(const std::string& path, JobIntake& into) {
    struct stat entry {};
    if (isRoot(path)) {
        into.left.push_back({path, kWholeFileSystem});
    } else if (::lstat(path.c_str(), &entry) != 0) {
        const int error = errno;
        if (!missing(error)) into.left.push_back({path, reasonFor(error)});
    } else if (struct stat target{};
               ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        FolderSearch search = searchFolder(path);
        for (std::string& file : search.files) {
            // The search goes deeper than the system opens a path whole; such a file
            // could not be converted.
            if (file.size() < PATH_MAX)
                into.files.push_back(std::move(file));
            else
                into.left.push_back({std::move(file), kTooLong});
        }
        for (SkippedFolder& folder : search.skipped)
            if (!missing(folder.error))
                into.left.push_back({std::move(folder.path), reasonFor(folder.error)});
    } else {
        into.files.push_back(path);
    }
}

std::vector<std::string> notQueuedLines(std::vector<NotQueued> left) {
    std::stable_sort(left.begin(), left.end(),
                     [](const NotQueued& a, const NotQueued& b) { return a.path < b.path; });
    std::vector<std::string> lines;
    for (const NotQueued& n : left) lines.push_back(n.path + ": " + n.reason);
    return lines;
}

struct JobOrder::Collator {
    UCollator* icu = nullptr;  // none in the C and POSIX locales: folded code units compare
    ~Collator() {
        if (icu) ucol_close(icu);
    }
};

JobOrder::JobOrder(const std::string& locale) : collator_(std::make_unique<Collator>()) {
    const std::string name = locale.empty() ? userLocale() : locale;
    if (name.empty() || name == "C" || name == "POSIX") return;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status)) return;
    // Canonical forms alike, case ignored, digits as text, punctuation counted.
    ucol_setAttribute(c, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    status = U_ZERO_ERROR;
    ucol_setAttribute(c, UCOL_STRENGTH, UCOL_SECONDARY, &status);
    status = U_ZERO_ERROR;
    ucol_setAttribute(c, UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    status = U_ZERO_ERROR;
    ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    collator_->icu = c;
}

JobOrder::~JobOrder() = default;

int JobOrder::compare(const std::string& a, const std::string& b) const {
    if (a.empty()) return b.empty() ? 0 : -1;
    if (b.empty()) return 1;
    if (!collator_->icu) {
        const int c = folded(a).compare(folded(b));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    const std::u16string x = utf16(a), y = utf16(b);
    return static_cast<int>(ucol_strcoll(
        collator_->icu, reinterpret_cast<const UChar*>(x.data()), static_cast<int32_t>(x.size()),
        reinterpret_cast<const UChar*>(y.data()), static_cast<int32_t>(y.size())));
}

std::string JobOrder::sortKey(const std::string& path) const {
    if (!collator_->icu) {
        // Folded UTF-16 code units, big-endian, so that bytes compare as the units do.
        std::string key;
        for (char16_t u : folded(path)) {
            key.push_back(static_cast<char>(u >> 8));
            key.push_back(static_cast<char>(u & 0xFF));
        }
        return key;
    }
    const std::u16string text = utf16(path);
    std::string key(16 + text.size() * 4, '\0');
    auto get = [&] {
        return ucol_getSortKey(collator_->icu, reinterpret_cast<const UChar*>(text.data()),
                               static_cast<int32_t>(text.size()),
                               reinterpret_cast<uint8_t*>(key.data()),
                               static_cast<int32_t>(key.size()));
    };
    int32_t size = get();
    if (size > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(size));
        size = get();
    }
    key.resize(size > 0 ? static_cast<std::size_t>(size - 1) : 0);  // without its final zero
    return key;
}

void sortJobs(std::vector<std::string>& paths, const JobOrder& order) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(paths.size());
    for (std::string& p : paths) keyed.emplace_back(order.sortKey(p), std::move(p));
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < paths.size(); ++i) paths[i] = std::move(keyed[i].second);
}

}  // namespace qv
