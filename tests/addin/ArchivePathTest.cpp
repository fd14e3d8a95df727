// Archive file names: subject cleaning, time stamp and path composition.
#include "ArchivePath.h"
#include "unique.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <vector>

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

const SYSTEMTIME kSent = At(2006, 5, 18, 12, 41, 2);

std::wstring Clean(const std::wstring& subject) {
    return CleanFileName(subject, kAllowedCharacters);
}

// Composes for kSent with no time limit; true when a free name was found.
bool Compose(const std::wstring& folder, const std::wstring& subject,
             const std::function<bool(const std::wstring&)>& exists, std::wstring& path) {
    return ComposeArchivePath(
               folder, kSent, subject, exists, [] { return false; }, path) ==
           ComposeResult::Composed;
}

bool NothingExists(const std::wstring&) {
    return false;
}

TEST(CleanFileName, DropsEverythingButLettersDigitsAndTheAllowedPunctuation) {
    EXPECT_EQ(Clean(L"Re: Offer 12/2006"), L"Re Offer 122006");
    EXPECT_EQ(Clean(L"Gr\x00FC\x00DF"
                    L"e aus K\x00F6ln"),
              L"Gr\x00DF"
              L"e aus Kln");
    EXPECT_EQ(Clean(L"a\\b/c:d*e?f\"g<h>i|j.k,l!m'n&o^p`q"), L"abcdefghijklmnopq");
    EXPECT_EQ(Clean(L""), L"");
    EXPECT_EQ(Clean(L"?!:/\\"), L"");
}

TEST(CleanFileName, KeepsTheTwentyOneAllowedCharactersInOrder) {
    const std::wstring allowed = L" _-+#()[]{}=%$\x00A7\x00DF~\x20AC@\x00B5;";
    ASSERT_EQ(kAllowedCharacters, allowed);
    EXPECT_EQ(kAllowedCharacters.size(), 21u);
    EXPECT_EQ(Clean(L"x" + allowed + L"y"), L"x" + allowed + L"y");
    // The micro sign is kept, the Greek letter mu that looks like it is not.
    EXPECT_EQ(Clean(L"5\x00B5m 5\x03BCm"), L"5\x00B5m 5m");
}

TEST(CleanFileName, WorksByCodeUnitSoPairsNulsAndControlsAreDropped) {
    const std::wstring subject(L"A\xD83D\xDCE7"
                               L"B\0C\r\nD\tE\x0001\x007F\xFEFF\xD800"
                               L"F",
                               16);
    EXPECT_EQ(Clean(subject), L"ABCDEF");
    EXPECT_EQ(Clean(L"\x041F\x0440\x0438\x0432\x0435\x0442 \x4F60\x597D"), L" ")
        << "letters of other scripts are dropped";
}

TEST(CleanFileName, CutsToTwoHundredTwentyAfterDropping) {
    EXPECT_EQ(Clean(std::wstring(300, L'a')), std::wstring(220, L'a'));
    EXPECT_EQ(Clean(std::wstring(220, L'b')), std::wstring(220, L'b'));
    std::wstring mixed;
    for (int i = 0; i < 100; ++i)
        mixed += L"ab:";
    EXPECT_EQ(Clean(mixed).size(), 200u) << "300 characters of which 200 survive are not cut";
}

TEST(IsAlphaNumeric, IsTrueForOneAsciiLetterOrDigitOnly) {
    for (const wchar_t* yes : {L"0", L"9", L"A", L"Z", L"a", L"z", L"m"})
        EXPECT_TRUE(IsAlphaNumeric(yes)) << yes;
    for (const wchar_t* no : {L"/", L":", L"@", L"[", L"`", L"{", L"\x00E9", L"\xFF21", L"", L"ab"})
        EXPECT_FALSE(IsAlphaNumeric(no)) << no;
}

TEST(ArchiveTimeStamp, IsZeroPaddedYearMonthDayBlankHourMinuteSecond) {
    EXPECT_EQ(ArchiveTimeStamp(kSent), L"20060518 124102");
    EXPECT_EQ(ArchiveTimeStamp(At(2007, 1, 2, 3, 4, 5)), L"20070102 030405");
    EXPECT_EQ(ArchiveTimeStamp(At(2026, 12, 31, 23, 59, 59)), L"20261231 235959");
    EXPECT_EQ(ArchiveTimeStamp(At(2026, 1, 1, 0, 0, 0)), L"20260101 000000");
}

TEST(ComposeArchivePath, JoinsFolderTimeSubjectAndExtension) {
    std::wstring path;
    ASSERT_TRUE(Compose(L"D:\\Mail\\Out", L"Re Offer 122006", NothingExists, path));
    EXPECT_EQ(path, L"D:\\Mail\\Out\\20060518 124102 - Re Offer 122006.msg");
    ASSERT_TRUE(Compose(L"D:\\Mail\\Out\\", L"x", NothingExists, path));
    EXPECT_EQ(path, L"D:\\Mail\\Out\\20060518 124102 - x.msg") << "no second backslash";
    ASSERT_TRUE(Compose(L"", L"x", NothingExists, path));
    EXPECT_EQ(path, L"\\20060518 124102 - x.msg") << "an empty folder names the drive's root";
    ASSERT_TRUE(Compose(L"C:\\", L"", NothingExists, path));
    EXPECT_EQ(path, L"C:\\20060518 124102 - .msg");
}

TEST(ComposeArchivePath, ATakenNameGetsTheFirstFreeCounter) {
    std::set<std::wstring> taken = {L"C:\\A\\20060518 124102 - Hi.msg",
                                    L"C:\\A\\20060518 124102 - Hi (2).msg",
                                    L"C:\\A\\20060518 124102 - Hi (4).msg"};
    auto exists = [&](const std::wstring& p) { return taken.count(p) > 0; };
    std::wstring path;
    ASSERT_TRUE(Compose(L"C:\\A", L"Hi", exists, path));
    EXPECT_EQ(path, L"C:\\A\\20060518 124102 - Hi (3).msg");
    taken.insert(path);
    ASSERT_TRUE(Compose(L"C:\\A", L"Hi", exists, path));
    EXPECT_EQ(path, L"C:\\A\\20060518 124102 - Hi (5).msg");
}

TEST(ComposeArchivePath, TheSubjectIsCutSoThePathFitsThePlatformLimit) {
    const std::wstring folder = L"C:\\" + std::wstring(100, L'f');
    const std::wstring subject(220, L's');
    std::wstring path;
    ASSERT_TRUE(Compose(folder, subject, NothingExists, path));
    EXPECT_EQ(path.size(), kMaxArchivePath);
    EXPECT_EQ(path.substr(path.size() - 5), L"s.msg");

    // The counter's room comes out of the subject too.
    std::wstring first = path;
    auto exists = [&](const std::wstring& p) { return p == first; };
    ASSERT_TRUE(Compose(folder, subject, exists, path));
    EXPECT_EQ(path.size(), kMaxArchivePath);
    EXPECT_EQ(path.substr(path.size() - 9), L"s (2).msg");

    // A short subject is not cut.
    ASSERT_TRUE(Compose(folder, L"short", NothingExists, path));
    EXPECT_EQ(path, folder + L"\\20060518 124102 - short.msg");
}

TEST(ComposeArchivePath, FailsOnlyWhenNotEvenAnEmptySubjectFits) {
    const std::wstring fixed = L"\\20060518 124102 - .msg";
    std::wstring path;
    const std::wstring fits(kMaxArchivePath - fixed.size(), L'f');
    ASSERT_TRUE(Compose(fits, L"subject", NothingExists, path));
    EXPECT_EQ(path, fits + fixed);
    EXPECT_EQ(ComposeArchivePath(
                  fits + L"f", kSent, L"subject", NothingExists, [] { return false; }, path),
              ComposeResult::PathTooLong);
}

// A folder that reports every name as taken (a slow share, a broken driver)
// must not hold up Outlook: the search ends at its counter limit, or sooner
// when its time is up, and says that no free name was found.
TEST(ComposeArchivePath, TheSearchForAFreeNameEndsAtItsCountOrTimeLimit) {
    unsigned asked = 0;
    auto allTaken = [&](const std::wstring&) { return ++asked > 0; };
    std::wstring path = L"unchanged";
    EXPECT_EQ(ComposeArchivePath(
                  L"C:\\A", kSent, L"Hi", allTaken, [] { return false; }, path),
              ComposeResult::NoFreeName);
    EXPECT_EQ(asked, kMaxNameCounter);
    EXPECT_EQ(path, L"unchanged");

    asked = 0;
    int ticks = 0;
    EXPECT_EQ(ComposeArchivePath(
                  L"C:\\A", kSent, L"Hi", allTaken, [&] { return ++ticks > 3; }, path),
              ComposeResult::NoFreeName);
    EXPECT_EQ(asked, 4u) << "the first name, then one more for each tick before time ran out";
}

// A folder of the test's own under the prefix's temporary folder.
class ArchiveFolder {
public:
    ArchiveFolder() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"qsClaim" + std::to_wstring(::GetCurrentProcessId());
        Clear();
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ArchiveFolder() { Clear(); }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
    const std::wstring& Path() const { return path_; }
    void Write(const std::wstring& name, const char* content) const {
        const qs::unique_hfile file(::CreateFileW((*this / name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), content, static_cast<DWORD>(strlen(content)), &written, nullptr);
    }
    static long long Size(const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
        return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

private:
    void Clear() const {
        WIN32_FIND_DATAW found;
        const HANDLE find = ::FindFirstFileW((*this / L"*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                ::DeleteFileW((*this / found.cFileName).c_str());
                ::RemoveDirectoryW((*this / found.cFileName).c_str());
            } while (::FindNextFileW(find, &found));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(path_.c_str());
    }
    std::wstring path_;
};

TEST(ClaimArchiveName, TakesAFreeNameAtOnceAndNeverAnExistingOne) {
    ArchiveFolder folder;
    EXPECT_EQ(ClaimArchiveName(folder / L"new.msg"), NameClaim::Claimed);
    EXPECT_EQ(ArchiveFolder::Size(folder / L"new.msg"), 0) << "held by an empty file";
    EXPECT_EQ(ClaimArchiveName(folder / L"new.msg"), NameClaim::Taken) << "claimed once only";

    folder.Write(L"old.msg", "archived mail");
    EXPECT_EQ(ClaimArchiveName(folder / L"old.msg"), NameClaim::Taken);
    EXPECT_EQ(ArchiveFolder::Size(folder / L"old.msg"), 13) << "an existing file is untouched";
    ASSERT_TRUE(::CreateDirectoryW((folder / L"dir.msg").c_str(), nullptr));
    EXPECT_EQ(ClaimArchiveName(folder / L"dir.msg"), NameClaim::Taken) << "a folder's name too";
    EXPECT_EQ(ClaimArchiveName(folder / L"missing\\x.msg"), NameClaim::Unclaimed);
}

TEST(ClaimArchiveName, ReleasingRemovesOnlyAnEmptyClaim) {
    ArchiveFolder folder;
    ASSERT_EQ(ClaimArchiveName(folder / L"unsaved.msg"), NameClaim::Claimed);
    ReleaseEmptyClaim(folder / L"unsaved.msg");
    EXPECT_EQ(ArchiveFolder::Size(folder / L"unsaved.msg"), -1) << "the empty claim is gone";

    ASSERT_EQ(ClaimArchiveName(folder / L"partly.msg"), NameClaim::Claimed);
    folder.Write(L"partly.msg", "part");
    ReleaseEmptyClaim(folder / L"partly.msg");
    EXPECT_EQ(ArchiveFolder::Size(folder / L"partly.msg"), 4) << "what the save wrote stays";
}

// Composing with claims gives the first free counter and holds exactly that name.
TEST(ClaimArchiveName, ComposingClaimsTheFirstFreeCounter) {
    ArchiveFolder folder;
    for (const wchar_t* name : {L"20060518 124102 - Hi.msg", L"20060518 124102 - Hi (2).msg",
                                L"20060518 124102 - Hi (4).msg"})
        folder.Write(name, "x");
    std::wstring path;
    ASSERT_TRUE(Compose(
        folder.Path(), L"Hi",
        [](const std::wstring& p) { return ClaimArchiveName(p) == NameClaim::Taken; }, path));
    EXPECT_EQ(path, folder / L"20060518 124102 - Hi (3).msg");
    EXPECT_EQ(ArchiveFolder::Size(path), 0);
}

// Random subjects, folders and taken names keep every promise of the naming.
// QS_FAULTS_ROUNDS asks for more rounds than CI runs.
TEST(ComposeArchivePath, RandomSubjectsAndFoldersKeepTheInvariants) {
    std::mt19937 random(20061218);
    std::uniform_int_distribution<int> unit(0, 0xFFFF), length(0, 400), folderLength(0, 300),
        pick(0, 5);
    const char* roundsText = std::getenv("QS_FAULTS_ROUNDS");
    const int rounds = roundsText ? std::atoi(roundsText) * 10 : 3000;
    std::set<wchar_t> allowedSeen;
    for (int round = 0; round < rounds; ++round) {
        std::wstring subject;
        for (int i = length(random); i > 0; --i) {
            switch (pick(random)) {
            case 0:
                subject += static_cast<wchar_t>(unit(random));
                break;
            case 1:
                subject += kAllowedCharacters[unit(random) % kAllowedCharacters.size()];
                break;
            case 2:
                subject += static_cast<wchar_t>(L'0' + unit(random) % 75);
                break;
            case 3:
                subject += static_cast<wchar_t>(0xD800 + unit(random) % 0x800); // lone surrogates
                break;
            default:
                subject += static_cast<wchar_t>(unit(random) % 0x20); // NULs and controls
                break;
            }
        }
        const std::wstring cleaned = Clean(subject);
        ASSERT_LE(cleaned.size(), kMaxCleanedSubject);
        size_t from = 0;
        for (wchar_t ch : cleaned) {
            const bool allowed = kAllowedCharacters.find(ch) != std::wstring::npos;
            ASSERT_TRUE(allowed || IsAlphaNumeric(std::wstring(1, ch)));
            if (allowed) allowedSeen.insert(ch);
            from = subject.find(ch, from);
            ASSERT_NE(from, std::wstring::npos) << "order kept";
            ++from;
        }
        size_t keepable = 0;
        for (wchar_t ch : subject)
            keepable += kAllowedCharacters.find(ch) != std::wstring::npos ||
                        IsAlphaNumeric(std::wstring(1, ch));
        ASSERT_EQ(cleaned.size(), std::min(keepable, kMaxCleanedSubject)) << "nothing else lost";

        // Any folder text at all, separators, dots and surrogates included.
        std::wstring folder;
        for (int i = folderLength(random); i > 0; --i) {
            const int kind = pick(random);
            folder += kind == 0   ? L'\\'
                      : kind == 1 ? L'.'
                      : kind == 2 ? static_cast<wchar_t>(unit(random))
                                  : static_cast<wchar_t>(L'a' + unit(random) % 26);
        }
        // Some names are taken, at random; the answer must be the first one free.
        std::vector<std::wstring> asked;
        const int takenOdds = pick(random);
        auto exists = [&](const std::wstring& p) {
            asked.push_back(p);
            return asked.size() < 50 && unit(random) % 6 < takenOdds;
        };
        std::wstring path;
        const bool withSlash = folder.empty() || folder.back() != L'\\';
        const size_t directory = folder.size() + (withSlash ? 1 : 0);
        if (!Compose(folder, cleaned, exists, path)) {
            ASSERT_GT(directory + 22 + (asked.empty() ? 0 : 4), kMaxArchivePath);
            continue;
        }
        ASSERT_FALSE(asked.empty());
        ASSERT_EQ(path, asked.back()) << "the free name is the last one asked";
        ASSERT_LE(path.size(), kMaxArchivePath);
        ASSERT_EQ(path.compare(0, folder.size(), folder), 0) << "inside the folder";
        if (withSlash) {
            ASSERT_EQ(path[folder.size()], L'\\');
        }
        const std::wstring name = path.substr(directory);
        ASSERT_EQ(name.find_first_of(L"\\/:"), std::wstring::npos) << "one plain file name";
        ASSERT_EQ(name.compare(0, 18, L"20060518 124102 - "), 0);
        ASSERT_EQ(name.substr(name.size() - 4), L".msg");
        const std::wstring counter =
            asked.size() == 1 ? L"" : L" (" + std::to_wstring(asked.size()) + L")";
        ASSERT_EQ(name.compare(name.size() - 4 - counter.size(), counter.size(), counter), 0)
            << "counter " << asked.size() << " follows " << asked.size() - 1 << " taken";
        const size_t kept = name.size() - 22 - counter.size();
        ASSERT_EQ(cleaned.compare(0, kept, name, 18, kept), 0)
            << "the subject part is a prefix of the cleaned subject";
        if (kept < cleaned.size()) {
            ASSERT_EQ(path.size(), kMaxArchivePath) << "cut only to fit";
        }
    }
    EXPECT_EQ(allowedSeen.size(), kAllowedCharacters.size()) << "every allowed character tried";
}

} // namespace
