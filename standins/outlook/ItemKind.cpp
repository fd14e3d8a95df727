#include "ItemKind.h"

#include <iterator>

namespace qs::standin {

namespace {

const ItemKindInfo kKinds[] = {
    {ItemKind::Mail, L"MailItem", 43, L"IPM.Note"},
    {ItemKind::Appointment, L"AppointmentItem", 26, L"IPM.Appointment"},
    {ItemKind::Meeting, L"MeetingItem", 53, L"IPM.Schedule.Meeting.Request"},
    {ItemKind::TaskRequest, L"TaskRequestItem", 49, L"IPM.TaskRequest"},
    {ItemKind::Report, L"ReportItem", 46, L"REPORT.IPM.Note.NDR"},
};

} // namespace

const ItemKindInfo& KindInfo(ItemKind kind) noexcept {
    for (const auto& info : kKinds)
        if (info.kind == kind) return info;
    return kKinds[0];
}

bool ItemKindFromTypeName(const std::wstring& typeName, ItemKind* kind) noexcept {
    for (const auto& info : kKinds) {
        if (typeName == info.typeName) {
            *kind = info.kind;
            return true;
        }
    }
    return false;
}

} // namespace qs::standin
