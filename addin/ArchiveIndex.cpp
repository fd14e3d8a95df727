#include "ArchiveIndex.h"

#include "UserStateFolder.h"
#include "unique.h"

#include <oleauto.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Lines: "A <direction> <time> <key>" for a message archived, "W <direction>
// <time>" for a watermark ("-" forgets it); fields and checksum separated by tabs.
constexpr char kArchived = 'A';
constexpr char kWatermark = 'W';
const char* const kDirections[] = {"in", "out"};
// Readers and appenders never stand in the way of the compaction's replacing the file.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FNV-1a: enough to tell a torn or overwritten line from a whole one.
unsigned long Checksum(const std::string& text) {
    unsigned long hash = 2166136261UL;
    for (unsigned char ch : text)
        hash = ((hash ^ ch) * 16777619UL) & 0xFFFFFFFFUL;
    return hash;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                              size, nullptr, nullptr);
    return utf8;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(size > 0 ? size : 0, L'\0');
    if (size > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              size);
    return wide;
}

std::vector<std::string> SplitTabs(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t tab = text.find('\t', start);
        parts.push_back(text.substr(start, tab - start));
        if (tab == std::string::npos) return parts;
        start = tab + 1;
    }
}

std::optional<MessageDirection> ParseDirection(const std::string& text) {
    if (text == kDirections[0]) return MessageDirection::Incoming;
    if (text == kDirections[1]) return MessageDirection::Outgoing;
    return std::nullopt;
}

size_t Slot(MessageDirection direction) {
    return direction == MessageDirection::Incoming ? 0 : 1;
}

// Keys come from message headers: nothing in them may break a line or a field.
std::string KeyField(const std::wstring& key) {
    std::string field = ToUtf8(key);
    for (char& ch : field)
        if (static_cast<unsigned char>(ch) < 0x20) ch = ' ';
    return field;
}

bool WriteAll(HANDLE file, const std::string& data) {
    DWORD written = 0;
    return ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
}

} // namespace

std::string IndexTime(DATE time) {
    SYSTEMTIME local = {};
    if (!::VariantTimeToSystemTime(time, &local)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute, local.wSecond);
    return text;
}

std::optional<DATE> ParseIndexTime(const std::string& text) {
    unsigned year, month, day, hour, minute, second;
    char end;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &year, &month, &day, &hour, &minute,
                    &second, &end) != 6)
        return std::nullopt;
    SYSTEMTIME local = {};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    DATE date = 0;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        !::SystemTimeToVariantTime(&local, &date))
        return std::nullopt;
    return date;
}

const std::wstring& ArchiveIndex::Path() {
    if (!resolved_) {
        resolved_ = true;
        const std::wstring folder = UserStateFolder();
        if (!folder.empty()) path_ = folder + L"\\qsStow.index";
    }
    return path_;
}

std::string ArchiveIndex::SealLine(const std::string& fields) {
    char sum[16];
    std::snprintf(sum, sizeof sum, "\t%08lX", Checksum(fields));
    return fields + sum;
}

std::optional<std::string> ArchiveIndex::OpenLine(const std::string& line) {
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos || line.size() - tab != 9) return std::nullopt;
    std::string fields = line.substr(0, tab);
    if (SealLine(fields) != line) return std::nullopt;
    return fields;
}

void ArchiveIndex::Apply(const std::string& fields) noexcept try {
    const std::vector<std::string> parts = SplitTabs(fields);
    if (parts.size() < 3 || parts[0].size() != 1) return;
    const std::optional<MessageDirection> direction = ParseDirection(parts[1]);
    if (!direction) return;
    if (parts[0][0] == kWatermark && parts.size() == 3) {
        watermarks_[Slot(*direction)] = parts[2] == "-" ? std::nullopt : ParseIndexTime(parts[2]);
    } else if (parts[0][0] == kArchived && parts.size() == 4 && !parts[3].empty()) {
        const std::optional<DATE> time = ParseIndexTime(parts[2]);
        if (time) entries_[FromUtf8(parts[3])] = {*direction, *time};
    }
} catch (...) {
    // A line that cannot be held is as good as torn.
}

void ArchiveIndex::Load() noexcept try {
    if (loaded_) return;
    loaded_ = true;
    if (Path().empty()) return;
    std::string text;
    {
        const qs::unique_hfile file(::CreateFileW(path_.c_str(), GENERIC_READ, kShareAll, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        char buffer[65536];
        DWORD read = 0;
        while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
            text.append(buffer, read);
    }
    size_t start = 0;
    // A last line without its end was torn by a crash: it is skipped.
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        ++lines_;
        const std::optional<std::string> fields = OpenLine(text.substr(start, end - start));
        if (fields) Apply(*fields);
    }
    // The bound: what lies far behind its watermark is never looked up again.
    for (auto it = entries_.begin(); it != entries_.end();) {
        const std::optional<DATE>& watermark = watermarks_[Slot(it->second.direction)];
        if (watermark && it->second.time < *watermark - kIndexKeepDays)
            it = entries_.erase(it);
        else
            ++it;
    }
    if (lines_ > 2 * (entries_.size() + 2) + 1000) Compact();
} catch (...) {
    // Whatever was read stays; the rest is as if never archived.
}

// Writes the live lines to a new file that then replaces the old one in one step.
void ArchiveIndex::Compact() noexcept try {
    std::string text;
    for (MessageDirection direction : {MessageDirection::Incoming, MessageDirection::Outgoing})
        if (watermarks_[Slot(direction)]) text += SealLine(WatermarkFields(direction)) + "\n";
    for (const auto& [key, entry] : entries_) {
        text += SealLine(std::string(1, kArchived) + "\t" + kDirections[Slot(entry.direction)] +
                         "\t" + IndexTime(entry.time) + "\t" + KeyField(key)) +
                "\n";
    }
    appender_.reset();
    const std::wstring temporary = path_ + L".new";
    {
        const qs::unique_hfile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !WriteAll(file.get(), text) || !::FlushFileBuffers(file.get())) {
            ::DeleteFileW(temporary.c_str());
            return;
        }
    }
    if (::MoveFileExW(temporary.c_str(), path_.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        lines_ = entries_.size() + 2;
    else
        ::DeleteFileW(temporary.c_str());
} catch (...) {
    // The old file stays as it was.
}

bool ArchiveIndex::Append(const std::string& fields) noexcept try {
    std::string line = ArchiveIndex::SealLine(fields) + "\n";
    if (!appender_) {
        if (Path().empty()) return false;
        appender_.reset(::CreateFileW(path_.c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!appender_) return false;
        // After a torn line, the first new one starts on a line of its own.
        LARGE_INTEGER size = {};
        char last = '\n';
        DWORD read = 0;
        if (::GetFileSizeEx(appender_.get(), &size) && size.QuadPart > 0) {
            LARGE_INTEGER position;
            position.QuadPart = size.QuadPart - 1;
            if (::SetFilePointerEx(appender_.get(), position, nullptr, FILE_BEGIN))
                (void)::ReadFile(appender_.get(), &last, 1, &read, nullptr);
        }
        if (last != '\n') line.insert(0, "\n");
    }
    // One write per line: appends of one line never interleave.
    const bool written = WriteAll(appender_.get(), line);
    if (written) ++lines_;
    return written;
} catch (...) {
    return false;
}

bool ArchiveIndex::Contains(const std::wstring& key) const noexcept {
    return !key.empty() && entries_.find(key) != entries_.end();
}

void ArchiveIndex::Record(MessageDirection direction, const std::wstring& key, DATE time) noexcept {
    if (key.empty()) return;
    try {
        entries_[key] = {direction, time};
        (void)Append(std::string(1, kArchived) + "\t" + kDirections[Slot(direction)] + "\t" +
                     IndexTime(time) + "\t" + KeyField(key));
    } catch (...) {
        // Not remembered: at worst the message is archived once more.
    }
}

std::optional<DATE> ArchiveIndex::Watermark(MessageDirection direction) const noexcept {
    return watermarks_[Slot(direction)];
}

std::string ArchiveIndex::WatermarkFields(MessageDirection direction) const {
    const std::optional<DATE>& watermark = watermarks_[Slot(direction)];
    return std::string(1, kWatermark) + "\t" + kDirections[Slot(direction)] + "\t" +
           (watermark ? IndexTime(*watermark) : "-");
}

void ArchiveIndex::SetWatermark(MessageDirection direction, DATE time) noexcept try {
    // Whole seconds, as the file holds it: a watermark never moves on when read back.
    watermarks_[Slot(direction)] = std::floor(time * 86400.0) / 86400.0;
    (void)Append(WatermarkFields(direction));
} catch (...) {
}

void ArchiveIndex::ForgetWatermark(MessageDirection direction) noexcept try {
    if (!watermarks_[Slot(direction)]) return;
    watermarks_[Slot(direction)].reset();
    (void)Append(WatermarkFields(direction));
} catch (...) {
}
