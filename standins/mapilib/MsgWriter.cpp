#include "MsgWriter.h"

#include "result.h"

#include <objbase.h>
#include <wrl/client.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace qs::standin {

using Microsoft::WRL::ComPtr;

namespace {

// Property types and tags (MAPI).
constexpr WORD PT_LONG = 0x0003;
constexpr WORD PT_STRING8 = 0x001E;
constexpr WORD PT_UNICODE = 0x001F;
constexpr WORD PT_SYSTIME = 0x0040;

constexpr WORD PR_MESSAGE_CLASS = 0x001A;
constexpr WORD PR_SUBJECT = 0x0037;
constexpr WORD PR_CLIENT_SUBMIT_TIME = 0x0039;
constexpr WORD PR_SENT_REPRESENTING_NAME = 0x0042;
constexpr WORD PR_SENT_REPRESENTING_ADDRTYPE = 0x0064;
constexpr WORD PR_SENT_REPRESENTING_EMAIL_ADDRESS = 0x0065;
constexpr WORD PR_RECIPIENT_TYPE = 0x0C15;
constexpr WORD PR_SENDER_NAME = 0x0C1A;
constexpr WORD PR_SENDER_ADDRTYPE = 0x0C1E;
constexpr WORD PR_SENDER_EMAIL_ADDRESS = 0x0C1F;
constexpr WORD PR_DISPLAY_TO = 0x0E04;
constexpr WORD PR_MESSAGE_DELIVERY_TIME = 0x0E06;
constexpr WORD PR_MESSAGE_FLAGS = 0x0E07;
constexpr WORD PR_OBJECT_TYPE = 0x0FFE;
constexpr WORD PR_BODY = 0x1000;
constexpr WORD PR_ROWID = 0x3000;
constexpr WORD PR_DISPLAY_NAME = 0x3001;
constexpr WORD PR_ADDRTYPE = 0x3002;
constexpr WORD PR_EMAIL_ADDRESS = 0x3003;
constexpr WORD PR_STORE_SUPPORT_MASK = 0x340D;
constexpr WORD PR_DISPLAY_TYPE = 0x3900;
constexpr WORD PR_SMTP_ADDRESS = 0x39FE;
constexpr WORD PR_INTERNET_CPID = 0x3FDE;
constexpr WORD PR_MESSAGE_CODEPAGE = 0x3FFD;

constexpr LONG MAPI_TO = 1;
constexpr LONG MAPI_MAILUSER = 6;
constexpr LONG DT_MAILUSER = 0;
constexpr LONG MSGFLAG_READ = 0x1;
constexpr LONG STORE_UNICODE_OK = 0x00040000;
constexpr DWORD PROPATTR_READABLE_WRITABLE = 0x2 | 0x4;

constexpr DWORD kStreamMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

void Put32(std::vector<BYTE>& out, DWORD value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
}

HRESULT WriteStream(IStorage* storage, const wchar_t* name, const void* data, ULONG size) noexcept {
    ComPtr<IStream> stream;
    QS_RETURN_IF_FAILED(storage->CreateStream(name, kStreamMode, 0, 0, &stream));
    ULONG written = 0;
    QS_RETURN_IF_FAILED(size ? stream->Write(data, size, &written) : S_OK);
    return written == size ? S_OK : STG_E_WRITEFAULT;
}

// Collects the property entries of one object (message or recipient) and
// writes the variable-length values as streams of its storage.
class PropertyWriter {
public:
    PropertyWriter(IStorage* storage, MsgFormat format) : storage_(storage), format_(format) {}

    // Empty strings are left out: a string property has at least one character.
    HRESULT Text(WORD id, const std::wstring& value) {
        if (value.empty()) return S_OK;
        const bool unicode = format_ == MsgFormat::Unicode;
        std::string bytes;
        if (unicode) {
            bytes.assign(reinterpret_cast<const char*>(value.data()),
                         value.size() * sizeof(wchar_t));
        } else {
            const int size =
                ::WideCharToMultiByte(CP_ACP, 0, value.data(), static_cast<int>(value.size()),
                                      nullptr, 0, nullptr, nullptr);
            if (size <= 0) return qs::HResultFromLastError();
            bytes.resize(static_cast<size_t>(size));
            ::WideCharToMultiByte(CP_ACP, 0, value.data(), static_cast<int>(value.size()),
                                  bytes.data(), size, nullptr, nullptr);
        }
        const WORD type = unicode ? PT_UNICODE : PT_STRING8;
        wchar_t name[32];
        std::swprintf(name, 32, L"__substg1.0_%04X%04X", id, type);
        QS_RETURN_IF_FAILED(
            WriteStream(storage_, name, bytes.data(), static_cast<ULONG>(bytes.size())));
        // The size counts the terminating zero, which the stream leaves out.
        const DWORD size = static_cast<DWORD>(bytes.size()) + (unicode ? 2 : 1);
        Entry(id, type);
        Put32(entries_, size);
        Put32(entries_, 0);
        return S_OK;
    }

    void Number(WORD id, LONG value) {
        Entry(id, PT_LONG);
        Put32(entries_, static_cast<DWORD>(value));
        Put32(entries_, 0);
    }

    // A local time, stored as UTC; 0 means none and is left out.
    HRESULT Time(WORD id, DATE local) {
        if (local == 0) return S_OK;
        SYSTEMTIME localTime, utc;
        FILETIME value;
        if (!::VariantTimeToSystemTime(local, &localTime)) return E_INVALIDARG;
        if (!::TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &utc) ||
            !::SystemTimeToFileTime(&utc, &value))
            return qs::HResultFromLastError();
        Entry(id, PT_SYSTIME);
        Put32(entries_, value.dwLowDateTime);
        Put32(entries_, value.dwHighDateTime);
        return S_OK;
    }

    // Writes the property stream: the object's header, then the entries.
    HRESULT finish(const std::vector<BYTE>& header) {
        std::vector<BYTE> stream = header;
        stream.insert(stream.end(), entries_.begin(), entries_.end());
        return WriteStream(storage_, L"__properties_version1.0", stream.data(),
                           static_cast<ULONG>(stream.size()));
    }

private:
    void Entry(WORD id, WORD type) {
        Put32(entries_, (static_cast<DWORD>(id) << 16) | type);
        Put32(entries_, PROPATTR_READABLE_WRITABLE);
    }

    IStorage* storage_;
    MsgFormat format_;
    std::vector<BYTE> entries_;
};

HRESULT WriteRecipient(IStorage* message, MsgFormat format, ULONG index,
                       const MessageRecipient& recipient) {
    wchar_t name[40];
    std::swprintf(name, 40, L"__recip_version1.0_#%08lX", index);
    ComPtr<IStorage> storage;
    QS_RETURN_IF_FAILED(message->CreateStorage(name, kStreamMode, 0, 0, &storage));
    PropertyWriter properties(storage.Get(), format);
    properties.Number(PR_ROWID, static_cast<LONG>(index));
    properties.Number(PR_RECIPIENT_TYPE, MAPI_TO);
    properties.Number(PR_OBJECT_TYPE, MAPI_MAILUSER);
    properties.Number(PR_DISPLAY_TYPE, DT_MAILUSER);
    QS_RETURN_IF_FAILED(properties.Text(PR_DISPLAY_NAME, recipient.name));
    QS_RETURN_IF_FAILED(properties.Text(PR_ADDRTYPE, L"SMTP"));
    QS_RETURN_IF_FAILED(properties.Text(PR_EMAIL_ADDRESS, recipient.address));
    QS_RETURN_IF_FAILED(properties.Text(PR_SMTP_ADDRESS, recipient.address));
    QS_RETURN_IF_FAILED(properties.finish(std::vector<BYTE>(8, 0)));
    return storage->Commit(STGC_DEFAULT);
}

// No named properties are used, so the three streams of the mapping are empty.
HRESULT WriteNamedPropertyMapping(IStorage* message) {
    ComPtr<IStorage> storage;
    QS_RETURN_IF_FAILED(
        message->CreateStorage(L"__nameid_version1.0", kStreamMode, 0, 0, &storage));
    for (const wchar_t* name :
         {L"__substg1.0_00020102", L"__substg1.0_00030102", L"__substg1.0_00040102"})
        QS_RETURN_IF_FAILED(WriteStream(storage.Get(), name, nullptr, 0));
    return storage->Commit(STGC_DEFAULT);
}

HRESULT WriteMessage(IStorage* storage, const MessageData& message, MsgFormat format) {
    PropertyWriter properties(storage, format);
    QS_RETURN_IF_FAILED(properties.Text(PR_MESSAGE_CLASS, message.messageClass));
    QS_RETURN_IF_FAILED(properties.Text(PR_SUBJECT, message.subject));
    QS_RETURN_IF_FAILED(properties.Text(PR_BODY, message.body));
    QS_RETURN_IF_FAILED(properties.Text(PR_SENDER_NAME, message.senderName));
    QS_RETURN_IF_FAILED(properties.Text(PR_SENDER_EMAIL_ADDRESS, message.senderEmailAddress));
    QS_RETURN_IF_FAILED(properties.Text(PR_SENDER_ADDRTYPE, L"SMTP"));
    QS_RETURN_IF_FAILED(properties.Text(PR_SENT_REPRESENTING_NAME, message.senderName));
    QS_RETURN_IF_FAILED(
        properties.Text(PR_SENT_REPRESENTING_EMAIL_ADDRESS, message.senderEmailAddress));
    QS_RETURN_IF_FAILED(properties.Text(PR_SENT_REPRESENTING_ADDRTYPE, L"SMTP"));
    QS_RETURN_IF_FAILED(properties.Text(PR_DISPLAY_TO, message.displayTo));
    QS_RETURN_IF_FAILED(properties.Time(PR_CLIENT_SUBMIT_TIME, message.submitTime));
    QS_RETURN_IF_FAILED(properties.Time(PR_MESSAGE_DELIVERY_TIME, message.deliveryTime));
    properties.Number(PR_MESSAGE_FLAGS, MSGFLAG_READ);
    properties.Number(PR_INTERNET_CPID, static_cast<LONG>(::GetACP()));
    properties.Number(PR_MESSAGE_CODEPAGE, static_cast<LONG>(::GetACP()));
    if (format == MsgFormat::Unicode) properties.Number(PR_STORE_SUPPORT_MASK, STORE_UNICODE_OK);

    const ULONG count = static_cast<ULONG>(message.recipients.size());
    for (ULONG i = 0; i < count; ++i)
        QS_RETURN_IF_FAILED(WriteRecipient(storage, format, i, message.recipients[i]));
    QS_RETURN_IF_FAILED(WriteNamedPropertyMapping(storage));

    // Header of a top-level message: reserved, next recipient and attachment
    // IDs, recipient and attachment counts, reserved.
    std::vector<BYTE> header(8, 0);
    Put32(header, count);
    Put32(header, 0);
    Put32(header, count);
    Put32(header, 0);
    header.resize(32, 0);
    QS_RETURN_IF_FAILED(properties.finish(header));
    return storage->Commit(STGC_DEFAULT);
}

} // namespace

HRESULT BuildMsg(const MessageData& message, MsgFormat format, std::vector<BYTE>* file) noexcept
    try {
    ComPtr<ILockBytes> bytes;
    QS_RETURN_IF_FAILED(::CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes));
    {
        ComPtr<IStorage> storage;
        QS_RETURN_IF_FAILED(::StgCreateDocfileOnILockBytes(
            bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage));
        QS_RETURN_IF_FAILED(WriteMessage(storage.Get(), message, format));
    }
    STATSTG stat = {};
    QS_RETURN_IF_FAILED(bytes->Stat(&stat, STATFLAG_NONAME));
    file->resize(static_cast<size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    ULARGE_INTEGER start = {};
    QS_RETURN_IF_FAILED(
        bytes->ReadAt(start, file->data(), static_cast<ULONG>(file->size()), &read));
    return read == file->size() ? S_OK : STG_E_READFAULT;
}
QS_CATCH_RETURN()

} // namespace qs::standin
