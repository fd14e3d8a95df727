// Failures the library injects when the host asks for them through its
// private channel. Each request makes the next call of that operation fail.
#pragma once

#include <windows.h>

namespace qs::standin {

using HostCall = void(WINAPI*)(void*);

enum class MapiOperation { SaveAs, Subject, Item, Wrapper };

// Finds the operation for a name used on the channel ("saveas", ...).
bool mapi_operation_from_name(const wchar_t* name, MapiOperation* operation) noexcept;
void fail_next(MapiOperation operation) noexcept;
// True once after fail_next(operation): the caller then fails.
bool take_failure(MapiOperation operation) noexcept;

// Has the next call of `operation` call back into the host first.
void call_in_next(MapiOperation operation, HostCall callback, void* context) noexcept;
// Makes the call asked for by call_in_next(operation), once.
void take_call(MapiOperation operation) noexcept;

} // namespace qs::standin
