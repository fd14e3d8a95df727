// The settings routines against the real registry of the test prefix.
#include "RegistryCmds.h"
#include "SettingsKey.h"

#include <gtest/gtest.h>

using testing_support::AdministratorKeys;
using testing_support::MessageCapture;
using testing_support::RegistryKey;
using testing_support::SetKeySecurity;
using testing_support::SettingsKey;

namespace {

const std::wstring kKeyPath = L"Software\\Microsoft\\Office\\Outlook\\Addins\\qsStow.Addin";

std::wstring SystemRoot() {
    wchar_t root[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return root;
}

class RegistryCmdsTest : public ::testing::Test {
protected:
    // Exactly one message box was shown so far, this one, with the exclamation icon.
    void ExpectOnlyMessage(const std::wstring& text, const std::wstring& title) {
        ASSERT_EQ(messages_.Shown().size(), 1u);
        EXPECT_EQ(messages_.Shown()[0].text, text);
        EXPECT_EQ(messages_.Shown()[0].title, title);
        EXPECT_EQ(messages_.Shown()[0].style, 48u);
    }

    SettingsKey key_;
    MessageCapture messages_;
};

TEST_F(RegistryCmdsTest, MissingKeyFailsReadsQuietlyOrWithTheOpeningMessage) {
    short flag = 7;
    std::wstring folder = L"kept";
    EXPECT_FALSE(GetRegValue(L"EnabledIn", kRegNumber, flag, false));
    EXPECT_FALSE(GetRegValue(L"FolderIn", kRegText, folder, false));
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(flag, 7);
    EXPECT_EQ(folder, L"kept");

    EXPECT_FALSE(GetRegValue(L"EnabledIn", kRegNumber, flag, true));
    ExpectOnlyMessage(L"Error Opening Registry Key Entry:\r\nKey/Path=" + kKeyPath +
                          L"\r\nDLL Returned=2",
                      L"Zezorir Ezurovid");
}

TEST_F(RegistryCmdsTest, MissingKeyFailsEveryWriteWithTheOpeningMessage) {
    EXPECT_FALSE(SetRegValue(L"EnabledIn", kRegNumber, 1));
    EXPECT_FALSE(SetRegValue(L"FolderIn", kRegText, std::wstring(L"C:\\Mail")));
    EXPECT_FALSE(SetRegExpandValue(L"FolderOut", L"%USERPROFILE%\\Mail"));
    ASSERT_EQ(messages_.Shown().size(), 3u);
    for (const auto& shown : messages_.Shown()) {
        EXPECT_EQ(shown.text, L"Error Opening Registry Key Entry:\r\nKey/Path=" + kKeyPath +
                                  L"\r\nDLL Returned=2");
        EXPECT_EQ(shown.title, L"Zezorir Ezurovid");
        EXPECT_EQ(shown.style, 48u);
    }
    EXPECT_FALSE(SettingsKey::Exists()) << "the routines never create the key";
}

TEST_F(RegistryCmdsTest, MissingValueShowsTheReadingMessageOnlyWhenAsked) {
    SettingsKey::Create();
    std::wstring folder = L"kept";
    EXPECT_FALSE(GetRegValue(L"FolderOut", kRegText, folder, false));
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_FALSE(GetRegValue(L"FolderOut", kRegText, folder, true));
    ExpectOnlyMessage(L"Error Retrieving Registry Key Entry:\r\nKey=FolderOut\r\nDLL Returned=2",
                      L"Zezorir Ezurovid");
    EXPECT_EQ(folder, L"kept");
}

TEST_F(RegistryCmdsTest, AFailedWriteShowsTheWritingMessage) {
    SettingsKey::Create();
    // A value name longer than the registry allows makes the write itself fail.
    const std::wstring tooLong(20000, L'x');
    EXPECT_FALSE(SetRegValue(tooLong, kRegNumber, 1));
    ASSERT_EQ(messages_.Shown().size(), 1u);
    const std::wstring& text = messages_.Shown()[0].text;
    EXPECT_EQ(text.rfind(
                  L"Error Setting Registry Key Entry:\r\nKey=" + tooLong + L"\r\nDLL Returned=", 0),
              0u);
    EXPECT_NE(text.back(), L'=') << "the code follows";
    EXPECT_EQ(messages_.Shown()[0].title, L"Zezorir Ezurovid");
    EXPECT_EQ(messages_.Shown()[0].style, 48u);
}

TEST_F(RegistryCmdsTest, FoldersOfAnyLengthRoundTrip) {
    SettingsKey::Create();
    for (size_t length : {0u, 1u, 254u, 255u, 2000u}) {
        std::wstring folder = L"C:\\";
        folder.resize(length, L'f');
        ASSERT_TRUE(SetRegValue(L"FolderIn", kRegText, folder)) << length;
        std::wstring read = L"before";
        ASSERT_TRUE(GetRegValue(L"FolderIn", kRegText, read, true)) << length;
        EXPECT_EQ(read, folder) << length;
        EXPECT_EQ(SettingsKey::Get(L"FolderIn").type, static_cast<DWORD>(REG_SZ));
    }
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(RegistryCmdsTest, AnEmptyFolderIsStoredAsOneTerminatingZero) {
    SettingsKey::Create();
    ASSERT_TRUE(SetRegValue(L"FolderOut", kRegText, std::wstring()));
    // Readers of the ANSI form see the single zero byte.
    DWORD type = 0, size = 0;
    char data[8] = {1, 1, 1};
    qs::unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath.c_str(), 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    size = sizeof(data);
    EXPECT_EQ(::RegQueryValueExA(key.get(), "FolderOut", nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(data[0], 0);
    std::wstring read = L"x";
    EXPECT_TRUE(GetRegValue(L"FolderOut", kRegText, read, true));
    EXPECT_EQ(read, L"");
}

TEST_F(RegistryCmdsTest, FolderNamesOutsideTheAnsiCodePageRoundTrip) {
    SettingsKey::Create();
    const std::wstring folder = L"D:\\\x0410\x0440\x0445\x0438\x0432\\\x6587\x4EF6\\\xD83D\xDCE7";
    ASSERT_TRUE(SetRegValue(L"FolderIn", kRegText, folder));
    EXPECT_EQ(SettingsKey::Get(L"FolderIn").Text(), folder) << "other readers see the same text";
    std::wstring read;
    ASSERT_TRUE(GetRegValue(L"FolderIn", kRegText, read, false));
    EXPECT_EQ(read, folder);
}

TEST_F(RegistryCmdsTest, FlagsAreStoredWidenedWithTheirSignAndReadBackNarrowed) {
    SettingsKey::Create();
    ASSERT_TRUE(SetRegValue(L"EnabledOut", kRegNumber, -1));
    const auto stored = SettingsKey::Get(L"EnabledOut");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.Dword(), 0xFFFFFFFFu);
    short flag = 0;
    ASSERT_TRUE(GetRegValue(L"EnabledOut", kRegNumber, flag, true));
    EXPECT_EQ(flag, -1);

    SettingsKey::SetDword(L"EnabledIn", 1);
    ASSERT_TRUE(GetRegValue(L"EnabledIn", kRegNumber, flag, true));
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(RegistryCmdsTest, ANumberTooLargeForAFlagIsARuntimeFailureEvenWhenQuiet) {
    SettingsKey::SetDword(L"EnabledIn", 70000);
    short flag = 0;
    EXPECT_FALSE(GetRegValue(L"EnabledIn", kRegNumber, flag, false));
    EXPECT_EQ(flag, 0);
    ExpectOnlyMessage(L"Overflow", L"YourAppName");
}

TEST_F(RegistryCmdsTest, ATextReadAsANumberBehavesAsTheTwoBuffersDictate) {
    // Short text: the number query succeeds, the text buffer stays empty, and
    // the empty text is no number.
    SettingsKey::SetText(L"Logging", L"1");
    short flag = 5;
    EXPECT_FALSE(GetRegValue(L"Logging", kRegNumber, flag, false));
    EXPECT_EQ(flag, 5);
    ExpectOnlyMessage(L"Type mismatch", L"YourAppName");

    // Longer text: more data than the four-byte buffer holds.
    SettingsKey::SetText(L"Logging", L"12345");
    EXPECT_FALSE(GetRegValue(L"Logging", kRegNumber, flag, true));
    ASSERT_EQ(messages_.Shown().size(), 2u);
    EXPECT_EQ(messages_.Shown()[1].text,
              L"Error Retrieving Registry Key Entry:\r\nKey=Logging\r\nDLL Returned=234");
}

TEST_F(RegistryCmdsTest, OtherStoredTypesReadAsTheNumberOneOrZero) {
    const BYTE binary[] = {9, 9, 9};
    SettingsKey::SetRaw(L"FolderIn", REG_BINARY, binary, sizeof(binary));
    std::wstring folder;
    ASSERT_TRUE(GetRegValue(L"FolderIn", kRegText, folder, true));
    EXPECT_EQ(folder, L"1");

    SettingsKey::SetDword(L"FolderOut", 42);
    ASSERT_TRUE(GetRegValue(L"FolderOut", kRegText, folder, true));
    EXPECT_EQ(folder, L"0") << "a number read as text leaves the text query's number buffer at 0";

    SettingsKey::SetRaw(L"EnabledIn", REG_BINARY, binary, sizeof(binary));
    short flag = 0;
    ASSERT_TRUE(GetRegValue(L"EnabledIn", kRegNumber, flag, true));
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(messages_.Shown().empty());
}

// An expandable text is read expanded, and written as given.
TEST_F(RegistryCmdsTest, AnExpandableFolderReadsAsItsExpandedText) {
    SettingsKey::SetText(L"FolderIn", L"%SystemRoot%\\Archive", REG_EXPAND_SZ);
    std::wstring folder;
    ASSERT_TRUE(GetRegValue(L"FolderIn", kRegText, folder, true));
    EXPECT_EQ(folder, SystemRoot() + L"\\Archive");

    ASSERT_TRUE(SetRegExpandValue(L"FolderOut", L"%SystemRoot%\\Sent"));
    const auto stored = SettingsKey::Get(L"FolderOut");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(stored.Text(), L"%SystemRoot%\\Sent");
    EXPECT_TRUE(messages_.Shown().empty());
}

// Reads ask for no more than reading: a key the user may read but not write
// (as a deployment may leave it) is read, and only writing it is refused.
TEST_F(RegistryCmdsTest, AKeyTheUserMayOnlyReadIsReadButNotWritten) {
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetText(L"FolderIn", L"C:\\In");
    ASSERT_TRUE(SetKeySecurity(HKEY_CURRENT_USER, kKeyPath, L"D:(A;;KRWD;;;WD)"));
    short flag = 0;
    std::wstring folder;
    EXPECT_TRUE(GetRegValue(L"EnabledIn", kRegNumber, flag, true));
    EXPECT_TRUE(GetRegValue(L"FolderIn", kRegText, folder, true));
    EXPECT_FALSE(SetRegValue(L"EnabledIn", kRegNumber, 0L));
    EXPECT_TRUE(SetKeySecurity(HKEY_CURRENT_USER, kKeyPath, L"D:(A;;KA;;;WD)"));
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(folder, L"C:\\In");
    ExpectOnlyMessage(L"Error Opening Registry Key Entry:\r\nKey/Path=" + kKeyPath +
                          L"\r\nDLL Returned=5",
                      L"Zezorir Ezurovid");
}

// Tools that pass their buffer's size store extra terminators, or junk after one.
TEST_F(RegistryCmdsTest, ATextEndsAtItsFirstNul) {
    for (DWORD type : {REG_SZ, REG_EXPAND_SZ}) {
        for (const std::wstring& stored :
             {std::wstring(L"C:\\a\0", 5), std::wstring(L"C:\\a\0\0\0", 7),
              std::wstring(L"C:\\a\0old", 8)}) {
            SettingsKey::SetText(L"FolderOut", stored, type);
            std::wstring folder;
            ASSERT_TRUE(GetRegValue(L"FolderOut", kRegText, folder, true));
            EXPECT_EQ(folder, L"C:\\a") << stored.size() << " characters of type " << type;
        }
    }
}

TEST_F(RegistryCmdsTest, UnknownTypeCodesReadOneAndWriteNothing) {
    SettingsKey::Create();
    short flag = 0;
    EXPECT_TRUE(GetRegValue(L"EnabledIn", 3, flag, true));
    EXPECT_EQ(flag, 1);
    std::wstring text;
    EXPECT_TRUE(GetRegValue(L"Missing", 0, text, true));
    EXPECT_EQ(text, L"1");
    EXPECT_TRUE(SetRegValue(L"EnabledIn", 7, 1));
    EXPECT_EQ(SettingsKey::Get(L"EnabledIn").status, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(RegistryCmdsTest, WritesConvertTheirValueOrReportTheRuntimeFailure) {
    SettingsKey::Create();
    EXPECT_TRUE(SetRegValue(L"FolderIn", kRegText, -12));
    EXPECT_EQ(SettingsKey::Get(L"FolderIn").Text(), L"-12");
    EXPECT_TRUE(SetRegValue(L"EnabledIn", kRegNumber, std::wstring(L"1")));
    EXPECT_EQ(SettingsKey::Get(L"EnabledIn").Dword(), 1u);
    EXPECT_TRUE(messages_.Shown().empty());

    EXPECT_FALSE(SetRegValue(L"EnabledOut", kRegNumber, std::wstring(L"on")));
    ExpectOnlyMessage(L"Type mismatch", L"YourAppName");
    EXPECT_EQ(SettingsKey::Get(L"EnabledOut").status, ERROR_FILE_NOT_FOUND);
}

// Each place holds the numbers EnabledOut and CatchUp and the expandable text
// FolderIn, marked with the place's own number and name; the administrators'
// keys are read-only to the user, as Group Policy leaves them.
TEST_F(RegistryCmdsTest, TheValueInForceIsAPolicysElseTheUsersOwnElseTheDefault) {
    const AdministratorKeys admin;
    const RegistryKey user = SettingsKey::Key();
    const struct {
        const RegistryKey& key;
        DWORD number;
        const wchar_t* name;
    } places[] = {{admin.machinePolicy, 10, L"MachinePolicy"},
                  {admin.userPolicy, 20, L"UserPolicy"},
                  {user, 30, L"User"},
                  {admin.defaults, 40, L"Default"}};
    const struct {
        const char* what;
        bool holds[4]; // in the order of `places`
        size_t inForce;
    } rows[] = {
        {"everywhere: the machine's policy", {true, true, true, true}, 0},
        {"the user's policy over the user's own", {false, true, true, true}, 1},
        {"a policy over a default", {false, true, false, true}, 1},
        {"the user's own over the default", {false, false, true, true}, 2},
        {"the default where the user has none", {false, false, false, true}, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        admin.Remove();
        SettingsKey::Remove();
        for (size_t i = 0; i < 4; ++i) {
            if (!row.holds[i]) continue;
            places[i].key.SetDword(L"EnabledOut", places[i].number);
            places[i].key.SetDword(L"CatchUp", places[i].number);
            places[i].key.SetText(L"FolderIn", std::wstring(L"%SystemRoot%\\") + places[i].name,
                                  REG_EXPAND_SZ);
        }
        admin.MakeReadOnly();

        short flag = 0;
        std::wstring folder, unexpanded;
        DWORD number = 0;
        EXPECT_TRUE(GetSettingValue(L"EnabledOut", kRegNumber, flag, true));
        EXPECT_TRUE(GetSettingValue(L"FolderIn", kRegText, folder, true));
        EXPECT_TRUE(ReadExpandableSetting(L"FolderIn", unexpanded));
        EXPECT_TRUE(ReadSettingNumber(L"CatchUp", number));
        const auto& expected = places[row.inForce];
        EXPECT_EQ(flag, static_cast<short>(expected.number));
        EXPECT_EQ(folder, SystemRoot() + L"\\" + expected.name);
        EXPECT_EQ(unexpanded, std::wstring(L"%SystemRoot%\\") + expected.name);
        EXPECT_EQ(number, expected.number);
        EXPECT_EQ(IsSetByPolicy(L"EnabledOut"), row.inForce < 2);
    }
    EXPECT_TRUE(messages_.Shown().empty());

    // A policy's value that cannot be read lets no other through.
    admin.Remove();
    admin.machinePolicy.SetDword(L"Logging", 70000);
    SettingsKey::SetDword(L"Logging", 1);
    short logging = 5;
    EXPECT_FALSE(GetSettingValue(L"Logging", kRegNumber, logging, false));
    EXPECT_EQ(logging, 5);
    ExpectOnlyMessage(L"Overflow", L"YourAppName");
}

// Where neither a policy nor a default holds a value (though their keys may
// exist), the value in force is the user's own: read, converted and reported
// exactly as GetRegValue does.
TEST_F(RegistryCmdsTest, WithoutPolicyOrDefaultTheValueInForceIsReadAsTheUsersOwn) {
    const AdministratorKeys admin;
    for (const RegistryKey* key : {&admin.machinePolicy, &admin.userPolicy, &admin.defaults})
        key->SetDword(L"Unrelated", 1);
    // What one reader makes of EnabledIn and FolderIn: results, values and messages.
    auto transcript = [](auto read, bool showErrors) {
        const MessageCapture capture;
        short flag = 7;
        std::wstring folder = L"kept";
        std::wstring lines = read(L"EnabledIn", kRegNumber, flag, showErrors) ? L"read " : L"not ";
        lines += std::to_wstring(flag);
        lines += read(L"FolderIn", kRegText, folder, showErrors) ? L"\nread " : L"\nnot ";
        lines += folder;
        for (const auto& shown : capture.Shown())
            lines += L"\n" + shown.title + L": " + shown.text;
        return lines;
    };
    auto inForce = [](const std::wstring& name, short type, auto& destination, bool showErrors) {
        return GetSettingValue(name, type, destination, showErrors);
    };
    auto usersOwn = [](const std::wstring& name, short type, auto& destination, bool showErrors) {
        return GetRegValue(name, type, destination, showErrors);
    };
    const struct {
        const char* what;
        void (*store)();
    } states[] = {
        {"no settings key", [] {}},
        {"no values", [] { SettingsKey::Create(); }},
        {"readable values",
         [] {
             SettingsKey::SetDword(L"EnabledIn", 1);
             SettingsKey::SetText(L"FolderIn", L"%SystemRoot%\\In", REG_EXPAND_SZ);
         }},
        {"a flag out of range, a folder of another type",
         [] {
             SettingsKey::SetDword(L"EnabledIn", 70000);
             const BYTE binary[] = {9, 9, 9};
             SettingsKey::SetRaw(L"FolderIn", REG_BINARY, binary, sizeof(binary));
         }},
        {"a flag stored as a long text, a folder as a number",
         [] {
             SettingsKey::SetText(L"EnabledIn", L"12345");
             SettingsKey::SetDword(L"FolderIn", 5);
         }},
    };
    for (const auto& state : states) {
        SCOPED_TRACE(state.what);
        SettingsKey::Remove();
        state.store();
        for (bool showErrors : {false, true})
            EXPECT_EQ(transcript(inForce, showErrors), transcript(usersOwn, showErrors))
                << "showing errors: " << showErrors;
    }
}

// HKLM is read in the program's own registry view, where an installer of the
// same bitness writes: a 32-bit Outlook's defaults are not a 64-bit one's.
TEST_F(RegistryCmdsTest, DefaultsAreReadInTheProgramsOwnRegistryView) {
    const AdministratorKeys admin;
    admin.otherViewDefaults.SetText(L"FolderOut", L"C:\\Other view");
    std::wstring folder = L"none";
    EXPECT_FALSE(GetSettingValue(L"FolderOut", kRegText, folder, false));
    admin.defaults.SetText(L"FolderOut", L"C:\\Own view");
    EXPECT_TRUE(GetSettingValue(L"FolderOut", kRegText, folder, false));
    EXPECT_EQ(folder, L"C:\\Own view");
    EXPECT_EQ(admin.otherViewDefaults.Get(L"FolderOut").Text(), L"C:\\Other view")
        << "the views are apart";
}

} // namespace
