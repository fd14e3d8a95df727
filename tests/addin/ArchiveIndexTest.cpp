// The archive index and the catch-up's watermark rules, against real files.
#include "ArchiveIndex.h"
#include "CatchUp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr double kSecond = 1.0 / 86400;
const DATE kNoon = 46363.5; // 7 December 2026, 12:00:00

class ArchiveIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        ::GetTempPathW(MAX_PATH, folder);
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ =
            std::wstring(folder) + L"qs-index-" + std::wstring(name.begin(), name.end()) + L".txt";
        ::DeleteFileW(path_.c_str());
    }
    void TearDown() override { ::DeleteFileW(path_.c_str()); }

    ArchiveIndex Reloaded() const {
        ArchiveIndex index(path_);
        index.Load();
        return index;
    }
    std::string Text() const {
        std::ifstream file(std::string(path_.begin(), path_.end()), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void Write(const std::string& text) const {
        std::ofstream(std::string(path_.begin(), path_.end()), std::ios::binary) << text;
    }

    std::wstring path_;
};

TEST_F(ArchiveIndexTest, WhatIsRecordedIsThereAfterAReload) {
    {
        ArchiveIndex index(path_);
        index.Record(MessageDirection::Incoming, L"S:00AB", kNoon);
        index.Record(MessageDirection::Outgoing, L"M:<x\ty\n@example.org>", kNoon);
        index.SetWatermark(MessageDirection::Incoming, kNoon + 0.4 * kSecond);
        index.SetWatermark(MessageDirection::Outgoing, kNoon);
        index.ForgetWatermark(MessageDirection::Outgoing);
        EXPECT_TRUE(index.Contains(L"S:00AB"));
    }
    const ArchiveIndex index = Reloaded();
    EXPECT_TRUE(index.Contains(L"S:00AB"));
    EXPECT_TRUE(index.Contains(L"M:<x y @example.org>")); // no key breaks a line
    EXPECT_FALSE(index.Contains(L"S:00AC"));
    EXPECT_FALSE(index.Contains(L""));
    // Whole seconds, never later than asked.
    EXPECT_EQ(index.Watermark(MessageDirection::Incoming), kNoon);
    EXPECT_FALSE(index.Watermark(MessageDirection::Outgoing));
}

TEST_F(ArchiveIndexTest, TornAndGarbageLinesAreIgnored) {
    const std::string good = ArchiveIndex::SealLine("A\tin\t2026-12-07 12:00:00\tS:01");
    const std::string wrongSum = ArchiveIndex::SealLine("A\tin\t2026-12-07 12:00:00\tS:02");
    Write(good + "\n" +                                     // kept
          "garbage without a checksum\n" +                  //
          wrongSum.substr(0, wrongSum.size() - 1) + "0\n" + // checksum off by a digit
          ArchiveIndex::SealLine("A\tsideways\t2026-12-07 12:00:00\tS:03") + "\n" +
          ArchiveIndex::SealLine("A\tin\t2026-13-07 12:00:00\tS:04") + "\n" +
          ArchiveIndex::SealLine("W\tin\tyesterday") + "\n" + std::string("\0\xFF\n", 3) +
          ArchiveIndex::SealLine("A\tin\t2026-12-07 12:00:00\tS:05"));
    // A crash cut the last line short.
    Write(Text().substr(0, Text().size() - 2));
    EXPECT_FALSE(ArchiveIndex::OpenLine("A\tin\t2026-12-07 12:00:00\tS:01\t1234567"));
    {
        ArchiveIndex index = Reloaded();
        EXPECT_TRUE(index.Contains(L"S:01"));
        for (const wchar_t* key : {L"S:02", L"S:03", L"S:04", L"S:05"})
            EXPECT_FALSE(index.Contains(key)) << key;
        EXPECT_FALSE(index.Watermark(MessageDirection::Incoming));
        // The torn last line stays torn; what follows it starts a line of its own.
        index.Record(MessageDirection::Incoming, L"S:06", kNoon);
    }
    const ArchiveIndex index = Reloaded();
    EXPECT_TRUE(index.Contains(L"S:06"));
    EXPECT_FALSE(index.Contains(L"S:05"));
}

TEST_F(ArchiveIndexTest, EntriesFarBehindTheWatermarkAreDroppedAndTheFileShrinks) {
    {
        ArchiveIndex index(path_);
        for (int i = 0; i < 3000; ++i)
            index.Record(MessageDirection::Incoming, L"S:OLD" + std::to_wstring(i),
                         kNoon - kIndexKeepDays - 1);
        index.Record(MessageDirection::Incoming, L"S:RECENT", kNoon - kIndexKeepDays + 1);
        index.Record(MessageDirection::Outgoing, L"S:OUT", kNoon - kIndexKeepDays - 1);
        index.SetWatermark(MessageDirection::Incoming, kNoon);
    }
    const size_t before = Text().size();
    ArchiveIndex index = Reloaded();
    EXPECT_FALSE(index.Contains(L"S:OLD0"));
    EXPECT_TRUE(index.Contains(L"S:RECENT"));
    EXPECT_TRUE(index.Contains(L"S:OUT")); // its direction has no watermark
    EXPECT_LT(Text().size() * 100, before);
    index.Record(MessageDirection::Incoming, L"S:NEW", kNoon);
    const ArchiveIndex again = Reloaded();
    EXPECT_TRUE(again.Contains(L"S:NEW"));
    EXPECT_TRUE(again.Contains(L"S:RECENT"));
    EXPECT_EQ(again.Watermark(MessageDirection::Incoming), kNoon);
}

TEST(WatermarkRules, NeverPassAFailureNorGoBack) {
    const DATE start = kNoon, settled = kNoon - kSettleDays;
    struct Case {
        const char* what;
        DATE current;
        std::optional<DATE> newest, oldestFailure;
        DATE expected;
    } cases[] = {
        {"nothing newer: an hour before the pass", settled - 1, {}, {}, settled},
        {"the newest message, when older than that", settled - 1, settled - 0.5, {}, settled - 0.5},
        {"an hour behind even a message of the last hour", settled - 1, start, {}, settled},
        {"a second before the oldest failure", settled - 1, start, settled - 0.25,
         settled - 0.25 - kSecond},
        {"never back", settled + 0.01, settled - 0.5, {}, settled + 0.01},
        {"never back, failure or not", settled - 1, start, settled - 1, settled - 1},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(NextWatermark(c.current, c.newest, start, c.oldestFailure), c.expected)
            << c.what;
}

TEST(IndexTimes, RoundTripAndRejectNonsense) {
    EXPECT_EQ(IndexTime(kNoon), "2026-12-07 12:00:00");
    EXPECT_EQ(ParseIndexTime("2026-12-07 12:00:00"), kNoon);
    for (const char* bad : {"", "2026-12-07", "2026-12-07 12:00:00x", "2026-00-07 12:00:00",
                            "2026-12-07 24:00:00", "7/12/2026 12:00:00"})
        EXPECT_FALSE(ParseIndexTime(bad)) << bad;
}

} // namespace
