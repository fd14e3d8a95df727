// Settings.Load against whatever the settings key may hold: every registry
// type at sizes around each limit, and random contents. Load never fails; a
// value it cannot use keeps its default; a good value beside bad ones is still
// read; and the only messages are run-time failure messages. And the settings
// routines against memory running out at any allocation.
#include "Settings.h"
#include "SettingsKey.h"
#include "UserMessage.h"
#include "unique.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using testing_support::MessageCapture;
using testing_support::SettingsKey;

// Memory that runs out on demand: once `g_allocationsLeft` allocations have
// been made, every further one fails until it is set back to -1.
long g_allocationsLeft = -1;

void* operator new(size_t size) {
    if (g_allocationsLeft == 0) throw std::bad_alloc();
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}

namespace {

struct Value {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The five values as Load leaves them in the object.
struct Loaded {
    short enabledIn, enabledOut, logging;
    std::wstring folderIn, folderOut;
};

// What Load must give for one value, when that can be said for certain.
struct Expected {
    bool known = false;
    short flag = 0;
    std::wstring text;
    int messages = 0; // run-time failure messages it causes
};

const DWORD kTypes[] = {REG_NONE,
                        REG_SZ,
                        REG_EXPAND_SZ,
                        REG_BINARY,
                        REG_DWORD,
                        REG_DWORD_BIG_ENDIAN,
                        REG_LINK,
                        REG_MULTI_SZ,
                        REG_RESOURCE_LIST,
                        REG_FULL_RESOURCE_DESCRIPTOR,
                        REG_RESOURCE_REQUIREMENTS_LIST,
                        REG_QWORD,
                        12,
                        0x7FFFFFFF,
                        0xFFFFFFFF};
const size_t kSizes[] = {0, 1, 2, 3, 4, 5, 8, 253, 254, 255, 256, 257, 510, 511, 4096, 65536};

// Types whose data the registry hands over as it is, without text conversion.
bool IsBinaryType(DWORD type) {
    return type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ && type != REG_LINK &&
           type != REG_DWORD;
}

Value Dword(DWORD number) {
    Value v{true, REG_DWORD, std::vector<BYTE>(4)};
    memcpy(v.data.data(), &number, 4);
    return v;
}

Value Text(const std::wstring& text) {
    Value v{true, REG_SZ, std::vector<BYTE>((text.size() + 1) * sizeof(wchar_t))};
    memcpy(v.data.data(), text.c_str(), v.data.size());
    return v;
}

// A flag is read as a 32-bit number into a 16-bit integer.
Expected ExpectFlag(const Value& v) {
    Expected e;
    if (!v.present) {
        e.known = true;
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        LONG number;
        memcpy(&number, v.data.data(), 4);
        e.known = true;
        if (number >= -32768 && number <= 32767)
            e.flag = static_cast<short>(number);
        else
            e.messages = 1;
    } else if ((IsBinaryType(v.type) || v.type == REG_DWORD) && v.data.size() > 4) {
        e.known = true; // too big for the number's buffer: silently not read
    } else if (IsBinaryType(v.type)) {
        e.known = true;
        e.flag = 1; // any other type reads as the number 1
    }
    return e;
}

// A folder is read as text; a number value reads as "0", other types as "1".
Expected ExpectFolder(const Value& v, bool properText) {
    Expected e;
    if (!v.present) {
        e.known = true;
    } else if (v.type == REG_SZ && properText) {
        e.known = true;
        e.text.assign(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / 2 - 1);
    } else if (v.type == REG_DWORD) {
        e.known = true;
        e.text = L"0";
    } else if (IsBinaryType(v.type)) {
        e.known = true;
        e.text = L"1";
    }
    return e;
}

class SettingsLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    void TearDown() override { ::CoUninitialize(); }

    static void Store(const wchar_t* name, const Value& v) {
        if (!v.present) {
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name);
            return;
        }
        ASSERT_EQ(SettingsKey::SetRaw(name, v.type, v.data.empty() ? nullptr : v.data.data(),
                                      static_cast<DWORD>(v.data.size())),
                  ERROR_SUCCESS)
            << "type " << v.type << " size " << v.data.size();
    }

    Loaded Load() {
        ComPtr<_Settings> settings;
        EXPECT_HRESULT_SUCCEEDED(Settings_CreateInstance(IID_PPV_ARGS(&settings)));
        qs::unique_variant result;
        EXPECT_HRESULT_SUCCEEDED(settings->Load(result.put()));
        EXPECT_EQ(result.vt, VT_EMPTY);
        Loaded loaded{};
        qs::unique_bstr in, out;
        settings->get_EnabledIn(&loaded.enabledIn);
        settings->get_EnabledOut(&loaded.enabledOut);
        settings->get_Logging(&loaded.logging);
        settings->get_FolderIn(in.put());
        settings->get_FolderOut(out.put());
        loaded.folderIn.assign(in.get(), ::SysStringLen(in.get()));
        loaded.folderOut.assign(out.get(), ::SysStringLen(out.get()));
        return loaded;
    }

    // Stores the five values, loads, and checks everything that is certain.
    void Check(const Value (&values)[5], const bool (&properText)[2], const std::string& what) {
        SettingsKey::Create();
        static const wchar_t* names[] = {L"EnabledIn", L"EnabledOut", L"Logging", L"FolderIn",
                                         L"FolderOut"};
        for (int i = 0; i < 5; ++i)
            Store(names[i], values[i]);
        const Expected expected[] = {ExpectFlag(values[0]), ExpectFlag(values[1]),
                                     ExpectFlag(values[2]), ExpectFolder(values[3], properText[0]),
                                     ExpectFolder(values[4], properText[1])};
        const size_t before = messages_.Shown().size();
        const Loaded loaded = Load();
        const short flags[] = {loaded.enabledIn, loaded.enabledOut, loaded.logging};
        const std::wstring* folders[] = {&loaded.folderIn, &loaded.folderOut};
        bool allKnown = true;
        int messages = 0;
        for (int i = 0; i < 5; ++i) {
            allKnown = allKnown && expected[i].known;
            messages += expected[i].messages;
            if (!expected[i].known) continue;
            if (i < 3)
                EXPECT_EQ(flags[i], expected[i].flag) << what << ": " << i;
            else
                EXPECT_EQ(*folders[i - 3], expected[i].text) << what << ": " << i;
        }
        const size_t shown = messages_.Shown().size() - before;
        if (allKnown)
            EXPECT_EQ(shown, static_cast<size_t>(messages)) << what;
        else
            EXPECT_GE(shown, static_cast<size_t>(messages)) << what;
        for (size_t i = before; i < messages_.Shown().size(); ++i) {
            EXPECT_EQ(messages_.Shown()[i].title, L"YourAppName") << what;
            EXPECT_EQ(messages_.Shown()[i].style, 48u) << what;
        }
    }

    SettingsKey key_;
    MessageCapture messages_;
};

std::vector<BYTE> Filled(size_t size, BYTE seed) {
    std::vector<BYTE> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<BYTE>(seed + i * 37);
    return data;
}

TEST_F(SettingsLoadTest, TheKeyMissingLeavesTheDefaultsSilently) {
    SettingsKey::Remove();
    const Loaded loaded = Load();
    EXPECT_EQ(loaded.enabledIn, 0);
    EXPECT_EQ(loaded.enabledOut, 0);
    EXPECT_EQ(loaded.logging, 0);
    EXPECT_EQ(loaded.folderIn, L"");
    EXPECT_EQ(loaded.folderOut, L"");
    EXPECT_TRUE(messages_.Shown().empty());
}

// Each value in turn holds every type at every size, beside four good values.
TEST_F(SettingsLoadTest, EveryTypeAndSizeOfEachValueLeavesTheOthersIntact) {
    const Value good[5] = {Dword(1), Dword(0), Dword(1), Text(L"C:\\In"), Text(L"D:\\Out")};
    for (int slot = 0; slot < 5; ++slot) {
        for (DWORD type : kTypes) {
            for (size_t size : kSizes) {
                Value values[5] = {good[0], good[1], good[2], good[3], good[4]};
                values[slot] = {true, type, Filled(size, static_cast<BYTE>(type + slot))};
                const bool properText[2] = {slot != 3, slot != 4};
                Check(values, properText,
                      "slot " + std::to_string(slot) + " type " + std::to_string(type) + " size " +
                          std::to_string(size));
                if (HasFatalFailure()) return;
            }
        }
    }
}

// Random contents: seed and rounds come from QS_FAULTS_SEED and QS_FAULTS_ROUNDS.
TEST_F(SettingsLoadTest, RandomContentsNeverCrashAndKeepEveryCertainResult) {
    const char* seedText = std::getenv("QS_FAULTS_SEED");
    const char* roundsText = std::getenv("QS_FAULTS_ROUNDS");
    const unsigned seed =
        seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20060518u;
    const int rounds = roundsText ? std::atoi(roundsText) : 300;
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < rounds; ++round) {
        Value values[5];
        bool properText[2] = {false, false};
        for (int i = 0; i < 5; ++i) {
            const int kind = pick(10);
            if (kind < 2) continue; // absent
            if (kind < 5 && i < 3) {
                values[i] = Dword(static_cast<DWORD>(
                    pick(2) ? pick(5) - 2 : static_cast<int>(random()))); // small, or any
            } else if (kind < 5) {
                std::wstring text;
                for (int n = pick(400); n > 0; --n)
                    text += static_cast<wchar_t>(1 + pick(0xFFFF));
                values[i] = Text(text);
                properText[i - 3] = true;
            } else {
                values[i].present = true;
                values[i].type = kTypes[pick(static_cast<int>(std::size(kTypes)))];
                const size_t size = pick(3) ? kSizes[pick(static_cast<int>(std::size(kSizes)))]
                                            : static_cast<size_t>(pick(1200));
                values[i].data.resize(size);
                for (BYTE& b : values[i].data)
                    b = static_cast<BYTE>(random());
            }
        }
        // Values Load does not read must not matter either.
        if (pick(2)) {
            const std::wstring stray = L"Stray" + std::to_wstring(pick(5));
            const std::vector<BYTE> data = Filled(static_cast<size_t>(pick(64)), 7);
            SettingsKey::SetRaw(stray.c_str(), kTypes[pick(static_cast<int>(std::size(kTypes)))],
                                data.empty() ? nullptr : data.data(),
                                static_cast<DWORD>(data.size()));
        }
        Check(values, properText,
              "seed " + std::to_string(seed) + " round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
}

// Memory may run out at any allocation inside the settings routines and the
// Settings object: each then fails or reports, and the process (Outlook's, for
// the add-in) goes on.
TEST_F(SettingsLoadTest, RunningOutOfMemoryAnywhereEndsNothing) {
    static int boxes = 0;
    // A capture that itself needs no memory.
    const MessageBoxHook previous = SetMessageBoxHook(
        [](HWND, const std::wstring&, const std::wstring&, UINT) { return ++boxes, IDOK; });
    ComPtr<_Settings> settings;
    ASSERT_HRESULT_SUCCEEDED(Settings_CreateInstance(IID_PPV_ARGS(&settings)));
    const std::wstring folderIn = L"FolderIn", enabledIn = L"EnabledIn";
    const std::wstring folder(300, L'f');
    std::wstring read;
    short flag = 0;
    for (long allowed = 0; allowed < 120; ++allowed) {
        SettingsKey::Create();
        SettingsKey::SetText(L"FolderIn", folder);
        SettingsKey::SetDword(L"EnabledIn", 70000); // a run-time failure message
        qs::unique_variant result;
        g_allocationsLeft = allowed;
        GetRegValue(folderIn, kRegText, read, true);
        GetRegValue(enabledIn, kRegNumber, flag, true);
        const HRESULT loaded = settings->Load(result.put());
        SettingsKey::Remove(); // every write now reports the opening message
        SetRegValue(enabledIn, kRegNumber, 1L);
        SetRegValue(folderIn, kRegText, folder);
        const HRESULT saved = settings->Save();
        g_allocationsLeft = -1;
        EXPECT_TRUE(loaded == S_OK || loaded == E_OUTOFMEMORY) << allowed;
        EXPECT_TRUE(saved == S_OK || saved == E_OUTOFMEMORY) << allowed;
    }
    EXPECT_GT(boxes, 0);
    SetMessageBoxHook(previous);
}

// Outside the tests' capture a message box is real. With no display (the test
// wrapper hides it unless QS_DISPLAY is set) it fails at once instead of
// waiting for a click, so an add-in loading bad settings in a display-less
// host does not hang.
TEST(MessageBoxWithoutDisplay, FailsAtOnceInsteadOfWaiting) {
    if (std::getenv("QS_DISPLAY")) GTEST_SKIP() << "a display is given";
    EXPECT_LE(ShowMessageBox(nullptr, L"test", L"YourAppName", MB_OK | MB_ICONEXCLAMATION), 0);
}

} // namespace
