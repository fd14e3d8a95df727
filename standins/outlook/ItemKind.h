// The kinds of item the host can send, with what tells them apart: the type
// name, Outlook's item class and the message class.
#pragma once

#include <string>

namespace qs::standin {

enum class ItemKind { Mail, Appointment, Meeting, TaskRequest, Report };

struct ItemKindInfo {
    ItemKind kind;
    const wchar_t* typeName; // as a client reports it: the interface name without "_"
    long olClass;
    const wchar_t* messageClass;
};

const ItemKindInfo& KindInfo(ItemKind kind) noexcept;
// Finds a kind by its type name ("MailItem", "AppointmentItem", ...).
bool ItemKindFromTypeName(const std::wstring& typeName, ItemKind* kind) noexcept;

} // namespace qs::standin
