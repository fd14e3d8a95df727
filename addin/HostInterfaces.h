// Identities of the host's and the MAPI library's interfaces that the add-in
// holds. Their vtables beyond IDispatch are not used: calls go through
// IDispatch with the published DISPIDs or by name.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <guiddef.h>

// Outlook's object model.
constexpr GUID IID_OutlookApplication = {
    0x00063001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_OutlookNameSpace = {
    0x00063002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID DIID_OutlookApplicationEvents = {
    0x0006304E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID DIID_OutlookNameSpaceEvents = {
    0x0006308C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr GUID DIID_OutlookItemsEvents = {
    0x00063077, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr DISPID kDispidItemSend = 0xF002;         // ApplicationEvents
constexpr DISPID kDispidGetNamespace = 0x110;      // _Application
constexpr DISPID kDispidVersion = 0x116;           // _Application
constexpr DISPID kDispidGetDefaultFolder = 0x210B; // _NameSpace
constexpr DISPID kDispidItems = 0x3100;            // MAPIFolder
constexpr DISPID kDispidGetFirst = 0x56;           // _Items
constexpr DISPID kDispidGetNext = 0x57;
constexpr DISPID kDispidSort = 0x61;
constexpr DISPID kDispidItemAdd = 0xF001; // ItemsEvents
constexpr DISPID kDispidSentOn = 0x39;    // _MailItem
constexpr DISPID kDispidReceivedTime = 0xE06;

constexpr long kFolderSentMail = 5; // olFolderSentMail
constexpr long kFolderInbox = 6;    // olFolderInbox
// Outlook's "no date", 1 January 4501: the sent time of a message not yet sent.
constexpr DATE kOutlookNoDate = 949998.0;

// The MAPI library registered under the ProgID prefix qsMapiLib.
constexpr wchar_t kMapiUtilsProgId[] = L"qsMapiLib.MAPIUtils";
constexpr wchar_t kSafeMailItemProgId[] = L"qsMapiLib.SafeMailItem";
constexpr GUID IID_MapiUtils = {
    0xD45B0772, 0x5801, 0x4E61, {0x9C, 0xBA, 0x84, 0x12, 0x05, 0x57, 0xA4, 0xD7}};
constexpr GUID DIID_MapiUtilsEvents = {
    0x359A062F, 0xCDA8, 0x4A9C, {0x9B, 0x28, 0x58, 0x84, 0x46, 0xD3, 0x50, 0x98}};
