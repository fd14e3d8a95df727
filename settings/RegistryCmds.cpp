#include "RegistryCmds.h"

#include "SettingSources.h"
#include "UserMessage.h"
#include "result.h"
#include "system_message.h"
#include "unique.h"

#include <algorithm>
#include <string>
#include <vector>

const wchar_t* const kSettingsKeyPath =
    L"Software\\Microsoft\\Office\\Outlook\\Addins\\qsStow.Addin";

namespace {

constexpr wchar_t kRegistryTitle[] = L"Zezorir Ezurovid";
constexpr wchar_t kRuntimeTitle[] = L"YourAppName";
constexpr UINT kExclamationOk = MB_OK | MB_ICONEXCLAMATION; // 48

// Shows the text that `makeText` builds; when building it fails for want of
// memory, says that instead, so that no report can end the process.
template <typename MakeText> void Report(const wchar_t* title, const MakeText& makeText) noexcept {
    try {
        ShowMessageBox(nullptr, makeText(), title, kExclamationOk);
    } catch (...) {
        ShowFixedMessageBox(L"Out of memory", kRuntimeTitle, kExclamationOk);
    }
}

void ShowOpeningMessage(const wchar_t* keyPath, LSTATUS code) noexcept {
    Report(kRegistryTitle, [keyPath, code] {
        return std::wstring(L"Error Opening Registry Key Entry:\r\nKey/Path=") + keyPath +
               L"\r\nDLL Returned=" + std::to_wstring(code);
    });
}

void ShowReadingMessage(const std::wstring& valueName, LSTATUS code) noexcept {
    Report(kRegistryTitle, [&] {
        return L"Error Retrieving Registry Key Entry:\r\nKey=" + valueName + L"\r\nDLL Returned=" +
               std::to_wstring(code);
    });
}

void ShowWritingMessage(const std::wstring& valueName, LSTATUS code) noexcept {
    Report(kRegistryTitle, [&] {
        return L"Error Setting Registry Key Entry:\r\nKey=" + valueName + L"\r\nDLL Returned=" +
               std::to_wstring(code);
    });
}

// Plain words for a failure: the platform's message table has no text for the
// automation conversion codes, so those are named here.
std::wstring DescribeFailure(HRESULT hr) {
    switch (hr) {
    case DISP_E_OVERFLOW:
        return L"Overflow";
    case DISP_E_TYPEMISMATCH:
        return L"Type mismatch";
    case E_OUTOFMEMORY:
        return L"Out of memory";
    default:
        break;
    }
    return qs::SystemMessage(hr);
}

void ShowRuntimeMessage(HRESULT hr) noexcept {
    Report(kRuntimeTitle, [hr] { return DescribeFailure(hr); });
}

// Value names are fixed ASCII words; the number query uses the ANSI form so
// that its four-byte buffer sees a text value's size as the ANSI bytes.
std::string NarrowName(const std::wstring& name) {
    std::string narrow;
    narrow.reserve(name.size());
    for (wchar_t ch : name)
        narrow.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    return narrow;
}

// Reads a value into the text buffer, whatever its size. A text value loses
// its terminating zero; an expandable text has its environment references
// expanded and is reported as plain text.
LSTATUS QueryText(HKEY key, const std::wstring& name, DWORD& storedType, std::wstring& text) {
    std::vector<BYTE> data;
    LSTATUS status;
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        status = ::RegQueryValueExW(key, name.c_str(), nullptr, &storedType,
                                    data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && size > data.size())) {
            data.resize(size + sizeof(wchar_t));
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        data.resize(size);
        break;
    }
    if (storedType != REG_SZ && storedType != REG_EXPAND_SZ) return ERROR_SUCCESS;

    // A text ends at its first NUL, however many terminators the writer stored.
    const auto* chars = reinterpret_cast<const wchar_t*>(data.data());
    const size_t stored = data.size() / sizeof(wchar_t);
    text.assign(chars, std::find(chars, chars + stored, L'\0'));
    if (storedType == REG_EXPAND_SZ) {
        const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        if (needed > 0) {
            std::wstring expanded(needed, L'\0');
            if (::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed) == needed) {
                expanded.resize(needed - 1);
                text = std::move(expanded);
            }
        }
        storedType = REG_SZ;
    }
    return ERROR_SUCCESS;
}

// Reads one value as `source` stores it and converts it into `destination`,
// which is of type `destinationType`.
bool ReadValue(SettingSource source, const std::wstring& valueName, short valueType,
               VARTYPE destinationType, VARIANT& destination, bool showErrors) noexcept {
    try {
        const SettingKey where = KeyOf(source);
        qs::unique_hkey key;
        LSTATUS status = ::RegOpenKeyExW(where.hive, where.path, 0, KEY_QUERY_VALUE, key.put());
        if (status != ERROR_SUCCESS) {
            if (showErrors) ShowOpeningMessage(where.path, status);
            return false;
        }

        // Two buffers, of which only the query of the matching type fills one.
        std::wstring textBuffer;
        DWORD numberBuffer = 0;
        DWORD storedType = REG_NONE;
        if (valueType == kRegText) {
            status = QueryText(key.get(), valueName, storedType, textBuffer);
        } else if (valueType == kRegNumber) {
            DWORD size = sizeof(numberBuffer);
            status = ::RegQueryValueExA(key.get(), NarrowName(valueName).c_str(), nullptr,
                                        &storedType, reinterpret_cast<BYTE*>(&numberBuffer), &size);
        }
        if (status != ERROR_SUCCESS) {
            if (showErrors) ShowReadingMessage(valueName, status);
            return false;
        }
        key.reset();

        qs::unique_variant read;
        if (storedType == REG_SZ) {
            read.vt = VT_BSTR;
            read.bstrVal = qs::MakeBstr(textBuffer.data(), textBuffer.size()).release();
            if (!read.bstrVal) throw std::bad_alloc();
        } else {
            read.vt = VT_I4;
            read.lVal = storedType == REG_DWORD ? static_cast<LONG>(numberBuffer) : 1;
        }

        qs::unique_variant converted;
        const HRESULT hr = ::VariantChangeType(&converted, &read, 0, destinationType);
        if (FAILED(hr)) {
            ShowRuntimeMessage(hr);
            return false;
        }
        ::VariantClear(&destination);
        destination = converted.release();
        return true;
    } catch (...) {
        ShowRuntimeMessage(qs::HResultFromCaughtException());
        return false;
    }
}

// Reads one value into `destination`, a flag or a text.
bool ReadInto(SettingSource source, const std::wstring& valueName, short valueType,
              short& destination, bool showErrors) noexcept {
    qs::unique_variant value;
    if (!ReadValue(source, valueName, valueType, VT_I2, value, showErrors)) return false;
    destination = value.iVal;
    return true;
}

bool ReadInto(SettingSource source, const std::wstring& valueName, short valueType,
              std::wstring& destination, bool showErrors) noexcept {
    qs::unique_variant value;
    if (!ReadValue(source, valueName, valueType, VT_BSTR, value, showErrors)) return false;
    try {
        destination.assign(value.bstrVal, ::SysStringLen(value.bstrVal));
    } catch (...) {
        ShowRuntimeMessage(E_OUTOFMEMORY);
        return false;
    }
    return true;
}

// Opens the user's settings key to write one value; empty, after the opening
// message, when it cannot be opened.
qs::unique_hkey OpenForWriting() noexcept {
    qs::unique_hkey key;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_ALL_ACCESS, key.put());
    if (status != ERROR_SUCCESS) ShowOpeningMessage(kSettingsKeyPath, status);
    return key;
}

bool Write(HKEY key, const std::wstring& valueName, DWORD type, const void* data,
           DWORD size) noexcept {
    const LSTATUS status =
        ::RegSetValueExW(key, valueName.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    if (status != ERROR_SUCCESS) {
        ShowWritingMessage(valueName, status);
        return false;
    }
    return true;
}

// A text's size in the registry: its characters and the terminating zero.
DWORD TextSize(size_t length) noexcept {
    return static_cast<DWORD>((length + 1) * sizeof(wchar_t));
}

} // namespace

bool GetRegValue(const std::wstring& valueName, short valueType, short& destination,
                 bool showErrors) noexcept {
    return ReadInto(SettingSource::User, valueName, valueType, destination, showErrors);
}

bool GetRegValue(const std::wstring& valueName, short valueType, std::wstring& destination,
                 bool showErrors) noexcept {
    return ReadInto(SettingSource::User, valueName, valueType, destination, showErrors);
}

bool GetSettingValue(const std::wstring& valueName, short valueType, short& destination,
                     bool showErrors) noexcept {
    return ReadInto(SourceInForce(valueName), valueName, valueType, destination, showErrors);
}

bool GetSettingValue(const std::wstring& valueName, short valueType, std::wstring& destination,
                     bool showErrors) noexcept {
    return ReadInto(SourceInForce(valueName), valueName, valueType, destination, showErrors);
}

bool SetRegValue(const std::wstring& valueName, short valueType, const VARIANT& value) noexcept {
    const qs::unique_hkey key = OpenForWriting();
    if (!key) return false;

    qs::unique_variant converted;
    if (valueType == kRegText || valueType == kRegNumber) {
        const HRESULT hr = ::VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0,
                                               valueType == kRegText ? VT_BSTR : VT_I4);
        if (FAILED(hr)) {
            ShowRuntimeMessage(hr);
            return false;
        }
    }
    if (valueType == kRegText) {
        const BSTR text = converted.bstrVal;
        return Write(key.get(), valueName, REG_SZ, text, TextSize(::SysStringLen(text)));
    }
    if (valueType == kRegNumber) {
        const LONG number = converted.lVal;
        return Write(key.get(), valueName, REG_DWORD, &number, sizeof(number));
    }
    return true;
}

bool SetRegValue(const std::wstring& valueName, short valueType, long value) noexcept {
    VARIANT number;
    number.vt = VT_I4;
    number.lVal = value;
    return SetRegValue(valueName, valueType, number);
}

bool SetRegValue(const std::wstring& valueName, short valueType,
                 const std::wstring& value) noexcept {
    qs::unique_variant text;
    text.vt = VT_BSTR;
    text.bstrVal = qs::MakeBstr(value.data(), value.size()).release();
    if (!text.bstrVal) {
        ShowRuntimeMessage(E_OUTOFMEMORY);
        return false;
    }
    return SetRegValue(valueName, valueType, text);
}

bool SetRegExpandValue(const std::wstring& valueName, const std::wstring& text) noexcept {
    const qs::unique_hkey key = OpenForWriting();
    if (!key) return false;
    return Write(key.get(), valueName, REG_EXPAND_SZ, text.c_str(), TextSize(text.size()));
}
