#include "FolderPicker.h"

#include "ConfigProgram.h"

namespace config_test {

namespace {

constexpr int kTreeId = 14145; // the picker's folder tree

struct LabelSearch {
    const std::wstring* text;
    bool found;
};

BOOL CALLBACK FindLabel(HWND child, LPARAM context) {
    auto& search = *reinterpret_cast<LabelSearch*>(context);
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    if (std::wstring(className) == L"Static" && TextOf(child) == *search.text) search.found = true;
    return TRUE;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

bool FolderPicker::ShowsText(const std::wstring& text) const {
    LabelSearch search{&text, false};
    ::EnumChildWindows(window_, FindLabel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FolderPicker::Tree() const {
    return ::GetDlgItem(window_, kTreeId);
}

std::wstring FolderPicker::ItemText(HTREEITEM item) const {
    // The item structure and its text buffer must lie in the picker's process.
    constexpr int kTextMax = 260;
    void* remote = ::VirtualAllocEx(process_, nullptr, sizeof(TVITEMW) + kTextMax * sizeof(wchar_t),
                                    MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return {};
    TVITEMW request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = reinterpret_cast<wchar_t*>(static_cast<BYTE*>(remote) + sizeof(TVITEMW));
    request.cchTextMax = kTextMax;
    wchar_t text[kTextMax] = {};
    if (::WriteProcessMemory(process_, remote, &request, sizeof(request), nullptr) &&
        ::SendMessageW(Tree(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote)))
        ::ReadProcessMemory(process_, request.pszText, text, sizeof(text) - sizeof(wchar_t),
                            nullptr);
    ::VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
    return text;
}

bool FolderPicker::Select(const std::vector<std::wstring>& steps) {
    HWND tree = Tree();
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (const std::wstring& step : steps) {
        // Children are filled in when their parent is expanded.
        ::SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        auto child = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        while (child && !EndsWith(ItemText(child), step))
            child = reinterpret_cast<HTREEITEM>(
                ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
        if (!child) return false;
        item = child;
    }
    return ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

} // namespace config_test
