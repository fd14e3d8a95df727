// The configuration program as a person uses it: the real qsStowConfig.exe is
// started and driven through its windows; what it stores is read back from the
// settings key, and what it shows from the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "ConfigProgram.h"
#include "FolderPicker.h"
#include "Process.h"
#include "ScreenPixels.h"
#include "SettingsKey.h"
#include "resource.h"
#include "unique.h"

using namespace config_test;
using testing_support::AdministratorKeys;
using testing_support::SettingsKey;

namespace {

const wchar_t kRestartText[] =
    L"If Outlook is currently running, please restart Outlook now to reload the new Configuration.";
const wchar_t kOpeningFailure[] =
    L"Error Opening Registry Key Entry:\r\n"
    L"Key/Path=Software\\Microsoft\\Office\\Outlook\\Addins\\qsStow.Addin\r\n"
    L"DLL Returned=2";

struct Direction {
    const char* name;
    int check, label, field, browse;
};
constexpr Direction kIn{"incoming", IDC_chkEnabledIn, IDC_lblFolderIn, IDC_txtFolderIn,
                        IDC_cmdFolderInBrowse};
constexpr Direction kOut{"outgoing", IDC_chkEnabledOut, IDC_lblFolderOut, IDC_txtFolderOut,
                         IDC_cmdFolderOutBrowse};

void ExpectState(const ConfigProgram& program, const Direction& direction, bool on) {
    SCOPED_TRACE(std::string(direction.name) + (on ? " on" : " off"));
    EXPECT_EQ(program.IsChecked(direction.check), on);
    EXPECT_EQ(program.IsEnabled(direction.label), on);
    EXPECT_FALSE(program.IsEnabled(direction.field)); // never takes input
    EXPECT_EQ(program.IsEnabled(direction.browse), on);
    EXPECT_TRUE(program.IsEnabled(IDC_cmdOK));
    EXPECT_TRUE(program.IsEnabled(IDC_cmdCancel));
}

std::set<std::wstring> StoredValueNames() {
    std::set<std::wstring> names;
    qs::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    return names;
}

void StoreExample() {
    SettingsKey::SetText(L"FolderIn", L"C:\\Mail\\Archive\\Incoming");
    SettingsKey::SetText(L"FolderOut", L"C:\\Mail\\Archive\\Sent");
}

// After OK: exactly the five values, each of its own type and with what the dialog showed.
void ExpectFiveStored(DWORD enabledIn, DWORD enabledOut, const std::wstring& folderIn,
                      const std::wstring& folderOut, DWORD logging) {
    EXPECT_EQ(StoredValueNames(), (std::set<std::wstring>{L"EnabledIn", L"EnabledOut", L"FolderIn",
                                                          L"FolderOut", L"Logging"}));
    const struct {
        const wchar_t* name;
        DWORD number;
        const std::wstring* text;
    } expected[] = {{L"EnabledIn", enabledIn, nullptr},
                    {L"EnabledOut", enabledOut, nullptr},
                    {L"FolderIn", 0, &folderIn},
                    {L"FolderOut", 0, &folderOut},
                    {L"Logging", logging, nullptr}};
    for (const auto& value : expected) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(value.name)));
        const SettingsKey::Stored stored = SettingsKey::Get(value.name);
        EXPECT_EQ(stored.type, static_cast<DWORD>(value.text ? REG_SZ : REG_DWORD));
        if (value.text)
            EXPECT_EQ(stored.Text(), *value.text);
        else
            EXPECT_EQ(stored.Dword(), value.number);
    }
}

// Which standard icon a message box shows, told by comparing what the screen
// shows with each of them drawn on the box's background.
const wchar_t* IconShownIn(HWND box) {
    HWND icon = nullptr;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            ::IsWindowVisible(child))
            icon = child;
    if (!icon) return L"none";
    RECT area{};
    ::GetWindowRect(icon, &area);
    area.right = area.left + ::GetSystemMetrics(SM_CXICON);
    area.bottom = area.top + ::GetSystemMetrics(SM_CYICON);
    // A box that is shown may not be painted yet (a busy machine): wait for the icon's pixels.
    Pixels shown;
    WaitFor([&] {
        shown = CaptureScreen(area);
        return std::any_of(shown.rgb.begin(), shown.rgb.end(),
                           [&](DWORD pixel) { return pixel != shown.At(0, 0); });
    });
    const struct {
        LPCWSTR id;
        const wchar_t* name;
    } standard[] = {{IDI_INFORMATION, L"information"},
                    {IDI_WARNING, L"exclamation"},
                    {IDI_ERROR, L"error"},
                    {IDI_QUESTION, L"question"}};
    const wchar_t* best = L"unknown";
    long long bestDifference = -1;
    for (const auto& candidate : standard) {
        const Pixels drawn = RenderIcon(::LoadIconW(nullptr, candidate.id), shown.width,
                                        shown.height, shown.At(0, 0));
        const long long difference = Difference(shown, drawn);
        if (difference >= 0 && (bestDifference < 0 || difference < bestDifference)) {
            bestDifference = difference;
            best = candidate.name;
        }
    }
    return best;
}

// Presses Tab once per control in `order` and expects the focus to go round
// the cycle, from wherever it is now back to there.
void ExpectTabCycle(ConfigProgram& program, const std::vector<int>& order) {
    std::vector<int> visited{::GetDlgCtrlID(program.Focus())};
    for (size_t i = 0; i < order.size(); ++i) {
        const HWND before = program.Focus();
        program.PressKey(VK_TAB);
        WaitFor([&] { return program.Focus() != before; });
        visited.push_back(::GetDlgCtrlID(program.Focus()));
    }
    std::vector<int> expected;
    const auto start = std::find(order.begin(), order.end(), visited.front());
    ASSERT_NE(start, order.end()) << "the focus starts on control " << visited.front();
    for (size_t i = 0; i <= order.size(); ++i)
        expected.push_back(order[(static_cast<size_t>(start - order.begin()) + i) % order.size()]);
    EXPECT_EQ(visited, expected);
}

struct TemporaryFolder {
    explicit TemporaryFolder(std::wstring folder) : path(std::move(folder)) {
        ::CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TemporaryFolder() { ::RemoveDirectoryW(path.c_str()); }
    const std::wstring path;
};

// Where a control lies in the dialog's client area, in pixels.
struct Placement {
    int id, left, top, width, height;
};

template <size_t Count>
void ExpectPlaced(const ConfigProgram& program, const Placement (&expected)[Count]) {
    for (const Placement& control : expected) {
        RECT rect{};
        ::GetWindowRect(program.Control(control.id), &rect);
        ::MapWindowPoints(HWND_DESKTOP, program.Dialog(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ((std::vector<LONG>{rect.left, rect.top, rect.right - rect.left,
                                     rect.bottom - rect.top}),
                  (std::vector<LONG>{control.left, control.top, control.width, control.height}))
            << "control " << control.id;
    }
}

std::wstring Expanded(const wchar_t* text) {
    wchar_t expanded[MAX_PATH] = {};
    ::ExpandEnvironmentStringsW(text, expanded, MAX_PATH);
    return expanded;
}

RECT RectInDialog(const ConfigProgram& program, int id) {
    RECT rect{};
    ::GetWindowRect(program.Control(id), &rect);
    ::MapWindowPoints(HWND_DESKTOP, program.Dialog(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

DWORD DialogColour() {
    const DWORD face = ::GetSysColor(COLOR_BTNFACE);
    return (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
}

// The dialog's client area on the screen (352 x 407 pixels at 96 dpi), once
// the header band has been painted.
Pixels PaintedClient(const ConfigProgram& program) {
    POINT origin{0, 0};
    ::ClientToScreen(program.Dialog(), &origin);
    const RECT clientOnScreen{origin.x, origin.y, origin.x + 352, origin.y + 407};
    Pixels shown;
    WaitFor([&] {
        shown = CaptureScreen(clientOnScreen);
        return shown.At(2, 2) == 0xFFFFFF && shown.At(2, 64) == 0xC0C0C0;
    });
    return shown;
}

// The notes "Set by your administrator" that the dialog shows, each checked
// for its text and for reaching under no other control; and no check box,
// narrowed for its note or not, has its text cut off (its last column is
// clear of ink).
std::set<int> NotesShown(const ConfigProgram& program) {
    std::set<int> shown;
    for (int note : {IDC_lblEnabledInPolicy, IDC_lblFolderInPolicy, IDC_lblEnabledOutPolicy,
                     IDC_lblFolderOutPolicy, IDC_lblLoggingPolicy}) {
        if (!::IsWindowVisible(program.Control(note))) continue;
        shown.insert(note);
        EXPECT_EQ(program.Text(note), L"Set by your administrator");
        const RECT noteRect = RectInDialog(program, note);
        for (HWND other = ::GetWindow(program.Dialog(), GW_CHILD); other;
             other = ::GetWindow(other, GW_HWNDNEXT)) {
            RECT otherRect = RectInDialog(program, ::GetDlgCtrlID(other)), overlap{};
            if (other == program.Control(note) || !::IsWindowVisible(other)) continue;
            EXPECT_FALSE(::IntersectRect(&overlap, &noteRect, &otherRect))
                << "note " << note << " over control " << ::GetDlgCtrlID(other);
        }
    }
    const Pixels painted = PaintedClient(program);
    for (int checkBox : {IDC_chkEnabledIn, IDC_chkEnabledOut, IDC_chkLogging}) {
        const RECT box = RectInDialog(program, checkBox);
        int ink = 0;
        for (int y = box.top; y < box.bottom; ++y)
            ink += painted.At(box.right - 1, y) != DialogColour();
        EXPECT_EQ(ink, 0) << "the text of check box " << checkBox << " is cut off";
    }
    return shown;
}

// Each test starts without the settings key and leaves none behind.
class ConfigDialog : public ::testing::Test {
protected:
    SettingsKey key_;
};

TEST_F(ConfigDialog, WithoutSettingsKeyOpensWithEverythingOffAndNoMessage) {
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    ExpectState(program, kIn, false);
    ExpectState(program, kOut, false);
    EXPECT_FALSE(program.IsChecked(IDC_chkLogging));
    EXPECT_EQ(program.Text(IDC_txtFolderIn), L"");
    EXPECT_EQ(program.Text(IDC_txtFolderOut), L"");
    EXPECT_TRUE(program.OtherWindows().empty());

    EXPECT_EQ(program.Focus(), program.Control(IDC_chkEnabledIn));
    const LRESULT defaultButton = ::SendMessageW(program.Dialog(), DM_GETDEFID, 0, 0);
    EXPECT_EQ(HIWORD(defaultButton), DC_HASDEFID);
    EXPECT_EQ(LOWORD(defaultButton), IDC_cmdOK);

    // A fixed frame whose title bar has only the close box.
    const LONG style = ::GetWindowLongW(program.Dialog(), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
}

TEST_F(ConfigDialog, ShowsStoredSettingsAndWritesSwitchesBackAsOneOrZero) {
    StoreExample();
    SettingsKey::SetDword(L"EnabledIn", 5);
    SettingsKey::SetDword(L"EnabledOut", static_cast<DWORD>(-3));
    SettingsKey::SetDword(L"Logging", 1);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    ExpectState(program, kIn, true);
    ExpectState(program, kOut, false);
    EXPECT_TRUE(program.IsChecked(IDC_chkLogging));
    EXPECT_EQ(program.Text(IDC_txtFolderIn), L"C:\\Mail\\Archive\\Incoming");
    EXPECT_EQ(program.Text(IDC_txtFolderOut), L"C:\\Mail\\Archive\\Sent");

    // OK writes what the dialog shows, the folder of the direction switched off too.
    SettingsKey::Delete(L"FolderIn");
    SettingsKey::Delete(L"FolderOut");
    program.PostClick(IDC_cmdOK);
    program.Dismiss(program.WaitForBox());
    ASSERT_TRUE(program.WaitForExit());
    ExpectFiveStored(1, 0, L"C:\\Mail\\Archive\\Incoming", L"C:\\Mail\\Archive\\Sent", 1);
}

TEST_F(ConfigDialog, SwitchTooLargeForItsFieldIsReportedOnceAndTheRestLoads) {
    StoreExample();
    SettingsKey::SetDword(L"EnabledIn", 70000);
    SettingsKey::SetDword(L"EnabledOut", 1);
    SettingsKey::SetDword(L"Logging", 1);
    ConfigProgram program;

    const ShownBox report = program.WaitForBox(); // while the dialog is still loading
    ASSERT_TRUE(report.window);
    EXPECT_EQ(report.title, L"YourAppName");
    EXPECT_EQ(report.text, L"Overflow");
    program.Dismiss(report);

    ASSERT_TRUE(program.WaitForDialog());
    EXPECT_TRUE(program.OtherWindows().empty()); // no second report
    ExpectState(program, kIn, false);
    ExpectState(program, kOut, true);
    EXPECT_TRUE(program.IsChecked(IDC_chkLogging));
    EXPECT_EQ(program.Text(IDC_txtFolderIn), L"C:\\Mail\\Archive\\Incoming");
    EXPECT_EQ(program.Text(IDC_txtFolderOut), L"C:\\Mail\\Archive\\Sent");
}

TEST_F(ConfigDialog, EachDirectionSwitchesItsLabelFieldAndButtonAndKeepsItsFolder) {
    StoreExample();
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    for (const Direction* direction : {&kIn, &kOut}) {
        const Direction& other = direction == &kIn ? kOut : kIn;
        const std::wstring folder = program.Text(direction->field);
        program.Click(direction->check);
        ExpectState(program, *direction, true);
        ExpectState(program, other, direction == &kOut); // incoming was left on
        program.Click(direction->check);
        ExpectState(program, *direction, false);
        EXPECT_EQ(program.Text(direction->field), folder);
        program.Click(direction->check);
    }
}

TEST_F(ConfigDialog, TabSkipsTheFolderFieldsAndSwitchedOffButtons) {
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetDword(L"EnabledOut", 1);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    EXPECT_EQ(program.Focus(), program.Control(IDC_chkEnabledIn));
    ExpectTabCycle(program, {IDC_chkEnabledIn, IDC_cmdFolderInBrowse, IDC_chkEnabledOut,
                             IDC_cmdFolderOutBrowse, IDC_chkLogging, IDC_cmdOK, IDC_cmdCancel});

    program.Click(IDC_chkEnabledIn);
    program.Click(IDC_chkEnabledOut);
    ExpectTabCycle(program,
                   {IDC_chkEnabledIn, IDC_chkEnabledOut, IDC_chkLogging, IDC_cmdOK, IDC_cmdCancel});
}

// The folder it replaces was stored with environment references; the one
// picked is written as the plain text that the field shows.
TEST_F(ConfigDialog, FolderPickedInThePickerLandsInItsFieldUnalteredAndIsWrittenSo) {
    // A name that no single ANSI code page can hold.
    const std::wstring name = L"Архив 郵件 Ωμέγα";
    const TemporaryFolder folder(L"C:\\" + name);
    SettingsKey::SetDword(L"EnabledIn", 1);
    StoreExample();
    SettingsKey::SetText(L"FolderIn", L"%USERPROFILE%\\Mail\\In", REG_EXPAND_SZ);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    program.PostClick(IDC_cmdFolderInBrowse);
    const ShownBox shown = program.WaitForBox();
    ASSERT_TRUE(shown.window);
    FolderPicker picker(program.Process(), shown.window);
    EXPECT_EQ(::GetWindow(shown.window, GW_OWNER), program.Dialog());
    EXPECT_TRUE(picker.ShowsText(L"Select Folder for incoming Messages"));
    ASSERT_TRUE(picker.Select({L"My Computer", L"(C:)", name}));
    picker.Confirm();

    EXPECT_TRUE(WaitFor([&] { return program.Text(IDC_txtFolderIn) == folder.path; }))
        << "field shows: " << testing::PrintToString(program.Text(IDC_txtFolderIn));
    EXPECT_TRUE(program.OtherWindows().empty());
    ExpectState(program, kIn, true);

    program.PostClick(IDC_cmdOK);
    program.Dismiss(program.WaitForBox());
    ASSERT_TRUE(program.WaitForExit());
    ExpectFiveStored(1, 0, folder.path, L"C:\\Mail\\Archive\\Sent", 0);
}

// As administrators deploy a folder, in the user's key or as a default: OK
// writes it back with its environment references and its type.
TEST_F(ConfigDialog, AnExpandableFolderIsWrittenBackAsStoredWhileItsFieldShowsIt) {
    const AdministratorKeys admin;
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetText(L"FolderIn", L"%USERPROFILE%\\Mail\\In", REG_EXPAND_SZ);
    admin.defaults.SetText(L"FolderOut", L"%USERPROFILE%\\Mail\\Out", REG_EXPAND_SZ);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());
    EXPECT_EQ(program.Text(IDC_txtFolderIn), Expanded(L"%USERPROFILE%\\Mail\\In"));
    EXPECT_EQ(program.Text(IDC_txtFolderOut), Expanded(L"%USERPROFILE%\\Mail\\Out"));
    EXPECT_FALSE(::IsWindowVisible(program.Control(IDC_lblFolderOutPolicy))) << "a default";
    program.Click(IDC_chkEnabledOut);
    ExpectState(program, kOut, true);

    program.PostClick(IDC_cmdOK);
    program.Dismiss(program.WaitForBox());
    ASSERT_TRUE(program.WaitForExit());
    for (const auto& [name, stored] : {std::pair{L"FolderIn", L"%USERPROFILE%\\Mail\\In"},
                                       std::pair{L"FolderOut", L"%USERPROFILE%\\Mail\\Out"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_EQ(SettingsKey::Get(name).type, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(SettingsKey::Get(name).Text(), stored);
    }
    EXPECT_EQ(SettingsKey::Get(L"EnabledOut").Dword(), 1u);
    EXPECT_EQ(admin.defaults.Get(L"FolderOut").Text(), L"%USERPROFILE%\\Mail\\Out");
}

// A setting that a policy sets (the policy keys read-only to the user, as
// Group Policy leaves them) is shown as set, its control locked with "Set by
// your administrator" beside it; OK writes the others and leaves the policy
// and the user's own value alone. Also saves the dialog's picture with two
// locked settings for the documentation (config-dialog-locked.bmp).
TEST_F(ConfigDialog, APolicysSettingsAreLockedWithANoteAndOkLeavesThemAlone) {
    const AdministratorKeys admin;
    StoreExample();
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetDword(L"EnabledOut", 0);
    SettingsKey::SetDword(L"Logging", 1);
    admin.machinePolicy.SetDword(L"EnabledOut", 1);
    admin.userPolicy.SetText(L"FolderOut", L"%USERPROFILE%\\Mail\\Out", REG_EXPAND_SZ);
    admin.MakeReadOnly();
    ::SetCursorPos(0, 0);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    EXPECT_TRUE(program.IsChecked(IDC_chkEnabledOut));
    EXPECT_FALSE(program.IsEnabled(IDC_chkEnabledOut));
    EXPECT_TRUE(program.IsEnabled(IDC_lblFolderOut));
    EXPECT_FALSE(program.IsEnabled(IDC_cmdFolderOutBrowse));
    EXPECT_EQ(program.Text(IDC_txtFolderOut), Expanded(L"%USERPROFILE%\\Mail\\Out"));
    ExpectState(program, kIn, true);
    EXPECT_TRUE(program.IsEnabled(IDC_chkLogging));

    EXPECT_EQ(NotesShown(program),
              (std::set<int>{IDC_lblEnabledOutPolicy, IDC_lblFolderOutPolicy}));
    RECT window{};
    ::GetWindowRect(program.Dialog(), &window);
    EXPECT_TRUE(SaveBitmapFile(CaptureScreen(window), L"config-dialog-locked.bmp"));

    // OK must write what the user may change, even what was already stored.
    SettingsKey::Delete(L"EnabledIn");
    SettingsKey::Delete(L"FolderIn");
    program.Click(IDC_chkLogging);
    program.PostClick(IDC_cmdOK);
    const ShownBox message = program.WaitForBox();
    EXPECT_EQ(message.text, kRestartText) << "no report before it";
    program.Dismiss(message);
    ASSERT_TRUE(program.WaitForExit());
    ExpectFiveStored(1, 0, L"C:\\Mail\\Archive\\Incoming", L"C:\\Mail\\Archive\\Sent", 0);
    EXPECT_EQ(admin.machinePolicy.Get(L"EnabledOut").Dword(), 1u);
    EXPECT_EQ(admin.userPolicy.Get(L"FolderOut").type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(admin.userPolicy.Get(L"FolderOut").Text(), L"%USERPROFILE%\\Mail\\Out");

    // Every setting set by policy: every note shown, none in another's way.
    admin.Remove();
    for (const wchar_t* name : {L"EnabledIn", L"EnabledOut", L"Logging"})
        admin.machinePolicy.SetDword(name, 1);
    admin.machinePolicy.SetText(L"FolderIn", L"C:\\In");
    admin.machinePolicy.SetText(L"FolderOut", L"C:\\Out");
    ConfigProgram locked;
    ASSERT_TRUE(locked.WaitForDialog());
    EXPECT_EQ(NotesShown(locked).size(), 5u);
    for (int id : {IDC_chkEnabledIn, IDC_cmdFolderInBrowse, IDC_chkEnabledOut,
                   IDC_cmdFolderOutBrowse, IDC_chkLogging})
        EXPECT_FALSE(locked.IsEnabled(id)) << "control " << id;
    locked.PostClick(IDC_cmdCancel);
    EXPECT_TRUE(locked.WaitForExit());
}

TEST_F(ConfigDialog, CancelledPickerKeepsTheFolderThatOkThenWrites) {
    StoreExample();
    SettingsKey::SetDword(L"EnabledOut", 1);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    program.PostClick(IDC_cmdFolderOutBrowse);
    const ShownBox shown = program.WaitForBox();
    ASSERT_TRUE(shown.window);
    FolderPicker picker(program.Process(), shown.window);
    EXPECT_TRUE(picker.ShowsText(L"Select Folder for outgoing Messages"));
    picker.Cancel();
    ASSERT_TRUE(WaitFor([&] { return program.OtherWindows().empty(); }));
    EXPECT_EQ(program.Text(IDC_txtFolderOut), L"C:\\Mail\\Archive\\Sent");

    program.PostClick(IDC_cmdOK);
    program.Dismiss(program.WaitForBox());
    ASSERT_TRUE(program.WaitForExit());
    ExpectFiveStored(0, 1, L"C:\\Mail\\Archive\\Incoming", L"C:\\Mail\\Archive\\Sent", 0);
}

TEST_F(ConfigDialog, EnterPressesOkWhichWritesTheFiveValuesAndAsksForARestart) {
    SettingsKey::Create();
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());
    program.Click(IDC_chkEnabledIn); // on, with no folder: accepted without a word
    program.Click(IDC_chkLogging);
    program.PressKey(VK_RETURN);

    const ShownBox message = program.WaitForBox();
    ASSERT_TRUE(message.window);
    EXPECT_EQ(message.title, L"Quillstow for Outlook");
    EXPECT_EQ(message.text, kRestartText);
    EXPECT_STREQ(IconShownIn(message.window), L"information");
    EXPECT_EQ(::GetWindow(message.window, GW_OWNER), program.Dialog());
    EXPECT_EQ(::WaitForSingleObject(program.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the program waits for the message to be dismissed";
    program.Dismiss(message);
    ASSERT_TRUE(program.WaitForExit());

    ExpectFiveStored(1, 0, L"", L"", 1);
}

TEST_F(ConfigDialog, CancelEscapeAndTheCloseBoxCloseWithoutWritingOrAsking) {
    const struct {
        const char* way;
        void (*close)(ConfigProgram&);
    } ways[] = {
        {"Cancel", [](ConfigProgram& program) { program.PostClick(IDC_cmdCancel); }},
        {"Escape", [](ConfigProgram& program) { program.PressKey(VK_ESCAPE); }},
        {"close box",
         [](ConfigProgram& program) {
             ::PostMessageW(program.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        SettingsKey::Remove();
        SettingsKey::Create();
        ConfigProgram program;
        ASSERT_TRUE(program.WaitForDialog());
        program.Click(IDC_chkEnabledIn);
        program.Click(IDC_chkEnabledOut);
        program.Click(IDC_chkLogging);
        way.close(program);
        // A message box would keep the program waiting.
        EXPECT_TRUE(program.WaitForExit());
        EXPECT_TRUE(StoredValueNames().empty());
    }
}

TEST_F(ConfigDialog, OkWithoutSettingsKeyReportsEachValueThenStillAsksForARestart) {
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());
    program.PostClick(IDC_cmdOK);

    for (int value = 0; value < 5; ++value) {
        const ShownBox report = program.WaitForBox();
        ASSERT_TRUE(report.window) << "report " << value + 1;
        EXPECT_EQ(report.title, L"Zezorir Ezurovid");
        EXPECT_EQ(report.text, kOpeningFailure);
        EXPECT_FALSE(::IsWindowEnabled(program.Dialog())) << "OK could be pressed again";
        program.Dismiss(report);
    }
    const ShownBox message = program.WaitForBox();
    EXPECT_EQ(message.text, kRestartText);
    program.Dismiss(message);
    EXPECT_TRUE(program.WaitForExit());
    EXPECT_FALSE(SettingsKey::Exists());
}

TEST_F(ConfigDialog, LaysOutTheDesignPixelForPixelAtNinetySixDpiCentredOnScreen) {
    const int dpi = ::GetDeviceCaps(qs::GetWindowDc(nullptr).get(), LOGPIXELSY);
    ASSERT_EQ(dpi, 96) << "the pixel positions below hold at 96 dpi";
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    RECT client{};
    ::GetClientRect(program.Dialog(), &client);
    EXPECT_EQ(client.right, 352);
    EXPECT_EQ(client.bottom, 407);

    const Placement expected[] = {
        {IDC_shTop, 0, 0, 353, 65},
        {IDC_Image2, 128, 8, 221, 44},
        {IDC_Label1, 8, 35, 177, 17},
        {IDC_Line1, 0, 64, 352, 1},
        {IDC_Line2, 0, 65, 352, 1},
        {IDC_chkEnabledIn, 16, 88, 313, 17},
        {IDC_lblFolderIn, 40, 120, 281, 17},
        {IDC_txtFolderIn, 40, 136, 270, 19},
        {IDC_cmdFolderInBrowse, 312, 136, 25, 18},
        {IDC_chkEnabledOut, 16, 184, 273, 17},
        {IDC_lblFolderOut, 40, 216, 265, 17},
        {IDC_txtFolderOut, 40, 232, 270, 19},
        {IDC_cmdFolderOutBrowse, 312, 232, 25, 18},
        {IDC_chkLogging, 16, 280, 105, 17},
        {IDC_lblLoggingHint, 40, 304, 297, 33},
        {IDC_cmdOK, 184, 368, 73, 25},
        {IDC_cmdCancel, 264, 368, 73, 25},
    };
    ExpectPlaced(program, expected);

    RECT window{};
    ::GetWindowRect(program.Dialog(), &window);
    EXPECT_NEAR(window.left + window.right, ::GetSystemMetrics(SM_CXSCREEN), 1);
    EXPECT_NEAR(window.top + window.bottom, ::GetSystemMetrics(SM_CYSCREEN), 1);
}

// Sets the screen resolution that programs started from now on find, and puts
// the previous one back.
class ResolutionSetting {
public:
    explicit ResolutionSetting(DWORD dotsPerInch) {
        DWORD size = sizeof(previous_);
        had_ = ::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD,
                              nullptr, &previous_, &size) == ERROR_SUCCESS;
        Set(dotsPerInch);
    }
    ~ResolutionSetting() {
        if (had_)
            Set(previous_);
        else
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }

private:
    static constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";
    static void Set(DWORD dotsPerInch) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dotsPerInch,
                          sizeof(dotsPerInch));
    }
    DWORD previous_ = 0;
    bool had_ = false;
};

// Lets this thread read other programs' windows in their own pixels, without
// the scaling the system applies for programs unaware of the resolution.
class UnscaledCoordinates {
public:
    UnscaledCoordinates() {
        if (set_) previous_ = set_(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
    }
    ~UnscaledCoordinates() {
        if (set_ && previous_) set_(previous_);
    }

private:
    using SetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
    // Windows 10 and later; looked up so that the program starts everywhere.
    SetContext set_ = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

TEST_F(ConfigDialog, ScalesTheDesignWithTheScreenResolution) {
    const ResolutionSetting larger(120); // 125 %
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());
    const UnscaledCoordinates unscaled;

    RECT client{};
    ::GetClientRect(program.Dialog(), &client);
    EXPECT_EQ(client.right, 440);  // 5280 twips
    EXPECT_EQ(client.bottom, 509); // 6105 twips
    const Placement expected[] = {
        {IDC_chkEnabledIn, 20, 110, 391, 21}, // 240, 1320, 4695, 255 twips
        {IDC_Line1, 0, 80, 440, 1},           // 0, 960, 5280, 15
        {IDC_Line2, 0, 81, 440, 1},           // 0, 975, 5280, 15
        {IDC_cmdOK, 230, 460, 91, 31},        // 2760, 5520, 1095, 375
    };
    ExpectPlaced(program, expected);
}

// Also saves the picture of the dialog for the documentation (config-dialog.bmp
// in the working folder).
TEST_F(ConfigDialog, PaintsTheWhiteBandWithItsPictureTitleAndEtchedEdge) {
    StoreExample();
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetDword(L"EnabledOut", 1);
    SettingsKey::SetDword(L"Logging", 1);
    // The pointer starts in the middle of the screen, over a check box that
    // would light up in the picture.
    ::SetCursorPos(0, 0);
    ConfigProgram program;
    ASSERT_TRUE(program.WaitForDialog());

    const DWORD dialogColour = DialogColour();
    const Pixels shown = PaintedClient(program);
    ASSERT_EQ(shown.width, 352);
    for (int x = 0; x < 352; x += 50) {
        SCOPED_TRACE(x);
        EXPECT_EQ(shown.At(x, 4), 0xFFFFFFu);     // the band
        EXPECT_EQ(shown.At(x, 64), 0xC0C0C0u);    // its last row, light grey
        EXPECT_EQ(shown.At(x, 65), 0xFFFFFFu);    // and the white row below
        EXPECT_EQ(shown.At(x, 66), dialogColour); // then the dialog's own colour
    }

    // The banner at its own size, exactly as stored in the program.
    HMODULE file = ::LoadLibraryExW((testing_support::BinFolder() + L"\\qsStowConfig.exe").c_str(),
                                    nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(file);
    HBITMAP banner = static_cast<HBITMAP>(
        ::LoadImageW(file, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    const Pixels stored = RenderBitmap(banner);
    ::DeleteObject(banner);
    ::FreeLibrary(file);
    ASSERT_EQ(stored.width, 221);
    ASSERT_EQ(stored.height, 44);
    int differing = 0;
    for (int y = 0; y < 44; ++y)
        for (int x = 0; x < 221; ++x)
            differing += shown.At(128 + x, 8 + y) != stored.At(x, y);
    EXPECT_EQ(differing, 0);

    // The title's letters are drawn over the band.
    EXPECT_EQ(program.Text(IDC_Label1), L"Configuration Utility");
    int dark = 0;
    for (int y = 35; y < 52; ++y)
        for (int x = 8; x < 128; ++x)
            dark += (shown.At(x, y) & 0xFF) < 0x80;
    EXPECT_GT(dark, 100);

    RECT window{};
    ::GetWindowRect(program.Dialog(), &window);
    EXPECT_TRUE(SaveBitmapFile(CaptureScreen(window), L"config-dialog.bmp"));
}

TEST(ConfigProgramFile, CarriesItsVersionNamesIconsAndManifest) {
    const std::wstring path = testing_support::BinFolder() + L"\\qsStowConfig.exe";
    std::vector<BYTE> version(::GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(
        ::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Fu);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x0000000Fu);
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"ProductName", L"Quillstow for Outlook"},
        {L"FileDescription", L"Ferrovale.Net Quillstow Configuration"},
        {L"FileVersion", L"1.01.0015"},
        {L"ProductVersion", L"1.01.0015"},
        {L"InternalName", L"qsStowConfig"},
        {L"OriginalFilename", L"qsStowConfig.exe"}};
    for (const auto& [name, text] : strings) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        EXPECT_TRUE(::VerQueryValueW(version.data(), query.c_str(),
                                     reinterpret_cast<void**>(&value), &size) &&
                    std::wstring(value) == text)
            << testing::PrintToString(std::wstring(name));
    }

    HMODULE file = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(file);
    // The icon group: 16x16 and 32x32, both 24-bit.
    HRSRC group = ::FindResourceW(file, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), RT_GROUP_ICON);
    ASSERT_TRUE(group);
    const auto* directory = static_cast<const BYTE*>(::LockResource(::LoadResource(file, group)));
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::set<std::pair<int, int>> images; // size, bits per pixel
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = directory + 6 + i * 14;
        images.insert({entry[0], *reinterpret_cast<const WORD*>(entry + 6)});
    }
    EXPECT_EQ(images, (std::set<std::pair<int, int>>{{16, 24}, {32, 24}}));
    HRSRC manifest = ::FindResourceW(file, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(manifest);
    const std::string text(static_cast<const char*>(::LockResource(::LoadResource(file, manifest))),
                           ::SizeofResource(file, manifest));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos);
    ::FreeLibrary(file);
}

} // namespace
