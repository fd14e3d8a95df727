#include "Items.h"

#include "ErrorInfo.h"
#include "result.h"
#include "unique.h"

#include <algorithm>
#include <numeric>

namespace qs::standin {

namespace {

constexpr DISPID kDispidItemAdd = 0xF001;
constexpr const wchar_t* kSource = L"Outlook";

// The properties a collection sorts by here, by the names Sort takes them under.
const struct {
    const wchar_t* name;
    DATE StoredMessage::*time;
} kSortable[] = {{L"ReceivedTime", &StoredMessage::receivedTime},
                 {L"SentOn", &StoredMessage::sentOn}};

} // namespace

Items::Items(Microsoft::WRL::ComPtr<Folder> folder)
    : events_(*this, {DIID_ItemsEvents}), folder_(std::move(folder)) {
    folder_->Watch(this);
}

Items::~Items() {
    folder_->Unwatch(this);
}

HRESULT Items::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__Items ? S_OK : S_FALSE;
}

HRESULT Items::Fail(HRESULT failure, const std::wstring& description) const noexcept {
    return SetError(failure, IID__Items, kSource, description);
}

const std::vector<size_t>& Items::Order() {
    const auto& messages = folder_->Messages();
    if (order_.size() == messages.size()) return order_;
    order_.resize(messages.size());
    std::iota(order_.begin(), order_.end(), size_t{0});
    if (sortedBy_) {
        // Messages of the same time keep the order they were filed in.
        const auto key = sortedBy_;
        const bool descending = descending_;
        std::stable_sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
            return descending ? messages[a].*key > messages[b].*key
                              : messages[a].*key < messages[b].*key;
        });
    }
    return order_;
}

HRESULT Items::ItemAt(size_t index, IDispatch** value) {
    const auto& order = Order();
    if (index < 1 || index > order.size()) return S_OK;
    return folder_->CreateItemFor(folder_->Messages()[order[index - 1]], value);
}

HRESULT Items::get_Count(long* value) {
    if (!value) return E_POINTER;
    *value = static_cast<long>(folder_->Messages().size());
    return S_OK;
}

HRESULT Items::Item(VARIANT index, IDispatch** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    // Outlook also finds an item by its default property's text; the stand-in
    // offers indexes only.
    unique_variant number;
    if (index.vt == VT_BSTR || FAILED(::VariantChangeType(&number, &index, 0, VT_I4)))
        return Fail(DISP_E_TYPEMISMATCH, L"The stand-in finds items by their index only.");
    // Indexes start at 1; outside the collection Outlook reports a bad index.
    if (number.lVal < 1 || static_cast<size_t>(number.lVal) > Order().size())
        return Fail(DISP_E_BADINDEX, L"Array index out of bounds.");
    return ItemAt(static_cast<size_t>(number.lVal), value);
}
QS_CATCH_RETURN()

// Outlook's Items.GetFirst and GetNext documentation: Nothing when there is no
// first or next object, and a walk starts with GetFirst. GetNext goes on from
// the current item, which is the first in a new collection and after Sort or
// GetFirst: a walk that starts with GetNext misses the first item.
HRESULT Items::GetFirst(IDispatch** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    current_ = 1;
    return ItemAt(current_, value);
}
QS_CATCH_RETURN()

HRESULT Items::GetNext(IDispatch** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (current_ <= Order().size()) ++current_;
    return ItemAt(current_, value);
}
QS_CATCH_RETURN()

// Outlook's Items.Sort documentation: the property's name may be enclosed in
// brackets, Descending is optional (False), and the collection's index is
// reset to 1 when the sort completes.
HRESULT Items::Sort(BSTR property, VARIANT descending) try {
    std::wstring name(property ? property : L"", ::SysStringLen(property));
    if (name.size() >= 2 && name.front() == L'[' && name.back() == L']')
        name = name.substr(1, name.size() - 2);
    DATE StoredMessage::*time = nullptr;
    for (const auto& sortable : kSortable)
        if (::lstrcmpiW(name.c_str(), sortable.name) == 0) time = sortable.time;
    if (!time)
        return Fail(E_INVALIDARG, L"The stand-in cannot sort by \"" + name +
                                      L"\": sort by [ReceivedTime] or [SentOn].");
    bool down = false;
    if (!(descending.vt == VT_ERROR && descending.scode == DISP_E_PARAMNOTFOUND)) {
        unique_variant flag;
        if (FAILED(::VariantChangeType(&flag, &descending, 0, VT_BOOL)))
            return Fail(DISP_E_TYPEMISMATCH, L"Descending must be True or False.");
        down = flag.boolVal != VARIANT_FALSE;
    }
    sortedBy_ = time;
    descending_ = down;
    order_.clear();
    current_ = 1;
    return S_OK;
}
QS_CATCH_RETURN()

void Items::RaiseItemAdd(IDispatch* item, FireStats& stats) {
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = item;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    events_.Point(DIID_ItemsEvents)->Fire(kDispidItemAdd, params, stats);
}

} // namespace qs::standin
