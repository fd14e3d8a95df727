// The diagnostic log, written beside this test program as it is beside the add-in.
#include "Logging.h"
#include "Process.h"
#include "unique.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::wstring ShortDate(const SYSTEMTIME& time) {
    wchar_t text[100] = {};
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, 100);
    return text;
}

std::wstring LongTime(const SYSTEMTIME& time) {
    wchar_t text[100] = {};
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 100);
    return text;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

SYSTEMTIME At(WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = 2006;
    time.wMonth = 5;
    time.wDay = 18;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = 789;
    return time;
}

class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    void Clear() {
        ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path_.c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    std::string Contents() {
        std::ifstream file(path_.c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    const std::wstring path_ = LogFilePath();
};

TEST_F(LoggingTest, TheLogLiesBesideTheModuleNamedAfterIt) {
    EXPECT_EQ(path_, testing_support::BinFolder() + L"\\logging_tests.log");
}

TEST_F(LoggingTest, ALineIsTheGeneralDateABlankTheMessageAndCrLf) {
    const SYSTEMTIME time = At(12, 41, 2);
    EXPECT_EQ(FormatLogLine(time, L"Addin loaded. Version 1.1 Build 34"),
              Narrow(ShortDate(time) + L" " + LongTime(time)) +
                  " Addin loaded. Version 1.1 Build 34\r\n");
    EXPECT_EQ(FormatLogLine(time, L""), Narrow(ShortDate(time) + L" " + LongTime(time)) + " \r\n");
}

TEST_F(LoggingTest, AtMidnightTheStampIsTheDateAlone) {
    const SYSTEMTIME midnight = At(0, 0, 0);
    EXPECT_EQ(FormatLogLine(midnight, L"Successful. "),
              Narrow(ShortDate(midnight)) + " Successful. \r\n");
    const SYSTEMTIME oneSecondLater = At(0, 0, 1);
    EXPECT_NE(FormatLogLine(oneSecondLater, L"x").find(Narrow(LongTime(oneSecondLater))),
              std::string::npos);
}

TEST_F(LoggingTest, ControlCharactersCannotBreakOrForgeLines) {
    static const wchar_t kSubject[] = L"Subject: a\r\nfake line\tend\0x";
    const std::string line =
        FormatLogLine(At(9, 0, 0), std::wstring(kSubject, sizeof(kSubject) / sizeof(wchar_t) - 1));
    EXPECT_EQ(line.find("\r\n"), line.size() - 2) << "exactly one line";
    EXPECT_NE(line.find(" Subject: a  fake line end x\r\n"), std::string::npos) << line;
}

TEST_F(LoggingTest, TextIsWrittenInTheAnsiCodePage) {
    const std::string line = FormatLogLine(At(9, 0, 0), L"Gr\x00FC\x00DF\x0435");
    char expected[16] = {};
    BOOL lossy = FALSE;
    ::WideCharToMultiByte(CP_ACP, 0, L"Gr\x00FC\x00DF\x0435", 5, expected, 16, nullptr, &lossy);
    EXPECT_NE(line.find(std::string(" ") + expected + "\r\n"), std::string::npos);
}

TEST_F(LoggingTest, TheFirstCallCreatesTheFileAndLaterCallsAppendInOrder) {
    WriteLog(L"first");
    std::string text = Contents();
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(" first\r\n"), std::string::npos);

    WriteLog(L"second");
    WriteLog(L"");
    text = Contents();
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
    const size_t first = text.find(" first\r\n");
    const size_t second = text.find(" second\r\n");
    EXPECT_LT(first, second);
    EXPECT_EQ(text.substr(text.size() - 3), " \r\n") << "an empty message still gives a line";
}

TEST_F(LoggingTest, AnUnwritableLogLeavesTheCallerUnharmed) {
    // Another program holds the log open without sharing it.
    WriteLog(L"before");
    {
        const qs::unique_hfile locked(::CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(locked);
        WriteLog(L"while locked");
    }
    WriteLog(L"after");
    const std::string text = Contents();
    EXPECT_EQ(text.find("while locked"), std::string::npos);
    EXPECT_NE(text.find(" after\r\n"), std::string::npos) << "the next call tries again";

    // A folder where the file should be.
    Clear();
    ASSERT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr));
    WriteLog(L"into a folder");
    EXPECT_EQ(::GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

} // namespace
