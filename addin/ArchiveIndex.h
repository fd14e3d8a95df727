// What has been archived, and how far each direction has been caught up: one
// append-only text file in the user's Quillstow folder. Every line carries a
// checksum, so a line torn by a crash or a power cut is ignored, never fatal.
// Entries far older than their direction's watermark are dropped.
#pragma once

#include "unique.h"

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <string>
#include <unordered_map>

enum class MessageDirection { Incoming, Outgoing };

// How long an entry is kept once its direction's watermark has passed it.
constexpr double kIndexKeepDays = 30;

class ArchiveIndex {
public:
    // The file in the user's Quillstow folder, found when first needed.
    ArchiveIndex() = default;
    explicit ArchiveIndex(std::wstring path) : path_(std::move(path)), resolved_(true) {}

    // Reads the file once (a missing file is an empty index) and rewrites it
    // without its dead lines when they outnumber the live ones.
    void Load() noexcept;
    bool Loaded() const noexcept { return loaded_; }

    bool Contains(const std::wstring& key) const noexcept;
    // Remembers the key and appends its line; the file need not have been loaded.
    void Record(MessageDirection direction, const std::wstring& key, DATE time) noexcept;

    std::optional<DATE> Watermark(MessageDirection direction) const noexcept;
    void SetWatermark(MessageDirection direction, DATE time) noexcept;
    // A direction that is switched off starts afresh when it is switched on again.
    void ForgetWatermark(MessageDirection direction) noexcept;

    // One line as stored, without its end: fields, a tab and the checksum.
    static std::string SealLine(const std::string& fields);
    // The fields of a stored line, or nothing when it is torn or garbage.
    static std::optional<std::string> OpenLine(const std::string& line);

private:
    struct Entry {
        MessageDirection direction;
        DATE time;
    };

    void Apply(const std::string& fields) noexcept;
    bool Append(const std::string& fields) noexcept;
    void Compact() noexcept;
    std::string WatermarkFields(MessageDirection direction) const;

    const std::wstring& Path();

    std::wstring path_;
    // Held open from the first append: opening a file costs more than writing a line.
    qs::unique_hfile appender_;
    bool resolved_ = false;
    bool loaded_ = false;
    size_t lines_ = 0;
    std::unordered_map<std::wstring, Entry> entries_;
    std::optional<DATE> watermarks_[2];
};

// Text forms of local times in the index: "YYYY-MM-DD HH:MM:SS".
std::string IndexTime(DATE time);
std::optional<DATE> ParseIndexTime(const std::string& text);
