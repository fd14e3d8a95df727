// The settings routines against the real registry of the test prefix.
#include "RegistryCmds.h"
#include "SettingsKey.h"

#include <gtest/gtest.h>

using testing_support::MessageCapture;
using testing_support::SetKeySecurity;
using testing_support::SettingsKey;

namespace {

const std::wstring kKeyPath = L"Software\\Microsoft\\Office\\Outlook\\Addins\\qsStow.Addin";

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
    ASSERT_EQ(messages_.Shown().size(), 2u);
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

TEST_F(RegistryCmdsTest, AnExpandableFolderReadsAsItsExpandedText) {
    SettingsKey::SetText(L"FolderIn", L"%SystemRoot%\\Archive", REG_EXPAND_SZ);
    wchar_t root[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    ASSERT_NE(root[0], L'\0');
    std::wstring folder;
    ASSERT_TRUE(GetRegValue(L"FolderIn", kRegText, folder, true));
    EXPECT_EQ(folder, std::wstring(root) + L"\\Archive");
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

} // namespace
