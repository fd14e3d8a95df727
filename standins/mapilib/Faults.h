// Failures the library injects when the host asks for them through its
// private channel. Each request makes the next call of that operation fail.
#pragma once

#include <windows.h>

namespace qs::standin {

using HostCall = void(WINAPI*)(void*);

enum class MapiOperation { SaveAs, Subject, Item, Wrapper };

// Finds the operation for a name used on the channel ("saveas", ...).
bool MapiOperationFromName(const wchar_t* name, MapiOperation* operation) noexcept;
void FailNext(MapiOperation operation) noexcept;
// True once after FailNext(operation): the caller then fails.
bool TakeFailure(MapiOperation operation) noexcept;

// Has the next call of `operation` call back into the host first.
void CallInNext(MapiOperation operation, HostCall callback, void* context) noexcept;
// Makes the call asked for by CallInNext(operation), once.
void TakeCall(MapiOperation operation) noexcept;

} // namespace qs::standin
