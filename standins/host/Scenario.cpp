#include "Scenario.h"

#include "LocalTime.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

namespace qs::standin {

namespace {

bool ToUtf16(const std::string& utf8, std::wstring* text) {
    if (utf8.empty()) return true;
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    if (size <= 0) return false;
    text->resize(static_cast<size_t>(size));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                          text->data(), size);
    return true;
}

// Splits "word rest" at the first blank; rest is empty when there is none.
void SplitFirst(const std::wstring& text, std::wstring* word, std::wstring* rest) {
    const size_t blank = text.find(L' ');
    *word = text.substr(0, blank);
    *rest = blank == std::wstring::npos ? L"" : text.substr(blank + 1);
}

// A number of milliseconds up to about a quarter of an hour.
bool ParseMilliseconds(const std::wstring& text, unsigned long* milliseconds) {
    if (text.empty() || text.size() > 6) return false;
    for (wchar_t c : text)
        if (!std::iswdigit(c)) return false;
    *milliseconds = std::wcstoul(text.c_str(), nullptr, 10);
    return true;
}

bool ParseLine(const std::wstring& text, int number, Step* step) {
    std::wstring command, argument;
    SplitFirst(text, &command, &argument);
    const bool hasArgument = text.find(L' ') != std::wstring::npos;
    step->line = number;
    if (command == L"send") {
        step->action = Step::Action::Send;
        step->subject = argument;
        return true;
    }
    if (command == L"send-item" || command == L"receive-item") {
        std::wstring kind;
        SplitFirst(argument, &kind, &step->subject);
        step->action = command == L"send-item" ? Step::Action::Send : Step::Action::ReceiveItem;
        return ItemKindFromTypeName(kind, &step->kind);
    }
    if (command == L"receive" || command == L"sent-elsewhere") {
        step->action = command == L"receive" ? Step::Action::Receive : Step::Action::SentElsewhere;
        step->subject = argument;
        return true;
    }
    if (command == L"at") {
        step->action = Step::Action::At;
        return ParseLocalTime(argument, &step->time);
    }
    if (command == L"idle") {
        step->action = Step::Action::Idle;
        return ParseMilliseconds(argument, &step->milliseconds);
    }
    if (hasArgument) return false;
    if (command == L"disconnect-and-hold") {
        step->action = Step::Action::DisconnectAndHold;
        return true;
    }
    if (command == L"disconnect-in-next-saveas") {
        step->action = Step::Action::DisconnectInNextSaveAs;
        return true;
    }
    if (command == L"restart") {
        step->action = Step::Action::Restart;
        return true;
    }
    if (command == L"memory") {
        step->action = Step::Action::Memory;
        return true;
    }
    if (command == L"window") {
        step->action = Step::Action::Window;
        return true;
    }
    if (command == L"pause") {
        step->action = Step::Action::Pause;
        return true;
    }
    if (command == L"fail-next-save") {
        step->action = Step::Action::FailNextSave;
        return true;
    }
    for (const wchar_t* operation : {L"saveas", L"subject", L"item", L"wrapper"}) {
        if (command == std::wstring(L"fail-next-") + operation) {
            step->action = Step::Action::FailNextInLibrary;
            step->operation = operation;
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseScenario(const std::string& utf8, std::vector<Step>* steps, std::wstring* problem) {
    std::vector<Step> parsed;
    size_t start = 0;
    int number = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos) end = utf8.size();
        std::string raw = utf8.substr(start, end - start);
        start = end + 1;
        ++number;
        if (number == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();

        std::wstring text;
        if (!ToUtf16(raw, &text)) {
            *problem = L"bad scenario line " + std::to_wstring(number) + L": not UTF-8";
            return false;
        }
        if (text.find_first_not_of(L" \t") == std::wstring::npos || text[0] == L'#') continue;
        Step step;
        if (!ParseLine(text, number, &step)) {
            *problem = L"bad scenario line " + std::to_wstring(number) + L": " + text;
            return false;
        }
        parsed.push_back(std::move(step));
    }
    *steps = std::move(parsed);
    return true;
}

} // namespace qs::standin
