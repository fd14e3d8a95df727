// archive-cost FOLDER [COUNT]: the archiver's cost per sent message against
// saving the same item directly through the MAPI library, in one process and
// message by message in turn, so that a busy machine slows both sides alike.
// Two folders under FOLDER grow side by side. Prints
//   archive-cost COUNT addin-us MEDIAN direct-us MEDIAN ratio-of-pairs MEDIAN
// where the last figure is the median of each pair's add-in/direct ratio.
#include "Archiver.h"
#include "LateBound.h"
#include "SampleMail.h"
#include "Settings.h"
#include "unique.h"

#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

double Microseconds() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What an add-in with no logic of its own does: Save, wrap, read the subject,
// SaveAs to a name it already knows.
HRESULT SaveDirectly(IDispatch* item, const std::wstring& path) {
    CallFailure failure;
    HRESULT hr = InvokeByName(item, L"Save", DISPATCH_METHOD, nullptr, 0, nullptr, failure);
    if (FAILED(hr)) return hr;
    CLSID clsid;
    hr = ::CLSIDFromProgID(L"qsMapiLib.SafeMailItem", &clsid);
    if (FAILED(hr)) return hr;
    ComPtr<IDispatch> wrapper;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wrapper));
    if (FAILED(hr)) return hr;
    VARIANT value;
    value.vt = VT_DISPATCH;
    value.pdispVal = item;
    hr = InvokeByName(wrapper.Get(), L"Item", DISPATCH_PROPERTYPUT, &value, 1, nullptr, failure);
    if (FAILED(hr)) return hr;
    std::wstring subject;
    hr = GetTextProperty(wrapper.Get(), L"Subject", subject, failure);
    if (FAILED(hr)) return hr;
    qs::unique_bstr text(::SysAllocString(path.c_str()));
    BSTR pathArgument = text.get();
    VARIANT args[2];
    args[0].vt = VT_I2;
    args[0].iVal = kFormatUnicodeMsg;
    args[1].vt = VT_BSTR | VT_BYREF;
    args[1].pbstrVal = &pathArgument;
    return InvokeByName(wrapper.Get(), L"SaveAs", DISPATCH_METHOD, args, 2, nullptr, failure);
}

size_t CountFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileW((folder + L"\\*.msg").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    do {
        ++count;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return count;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: archive-cost FOLDER [COUNT]\n");
        return 1;
    }
    const std::wstring root = argv[1];
    const int count = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 1000;
    const std::wstring addinFolder = root + L"\\addin", directFolder = root + L"\\direct";
    ::CreateDirectoryW(root.c_str(), nullptr);
    ::CreateDirectoryW(addinFolder.c_str(), nullptr);
    ::CreateDirectoryW(directFolder.c_str(), nullptr);
    const qs::unique_com_apartment apartment = qs::EnterApartment(COINIT_APARTMENTTHREADED);
    if (!apartment) return 1;
    int status = 0;
    ComPtr<_Settings> settings;
    if (FAILED(Settings_CreateInstance(IID_PPV_ARGS(&settings)))) return 1;
    qs::unique_bstr folder(::SysAllocString(addinFolder.c_str()));
    settings->put_EnabledOut(1);
    settings->put_FolderOut(folder.get());

    // The live path records every message it archives, as the add-in's does.
    ArchiveIndex index(addinFolder + L".index");
    std::vector<double> addin, direct, ratios;
    for (int i = 0; i < count; ++i) {
        const std::wstring subject = L"Re: Quarterly figures 2026/" + std::to_wstring(i);
        ComPtr<IDispatch> first, second;
        if (FAILED(qs::standin::CreateItem(qs::standin::ItemKind::Mail,
                                           qs::standin::SampleSentMail(subject), &first)) ||
            FAILED(qs::standin::CreateItem(qs::standin::ItemKind::Mail,
                                           qs::standin::SampleSentMail(subject), &second)))
            return 1;
        // Which side goes first alternates.
        double a = 0, d = 0;
        for (int side = 0; side < 2; ++side) {
            const double start = Microseconds();
            if ((side == 0) == (i % 2 == 0)) {
                ArchiveRequest request{kOutgoingMessages, first.Get(), settings.Get(),
                                       kFormatUnicodeMsg};
                request.index = &index;
                ArchiveItem(request);
                a = Microseconds() - start;
            } else {
                if (FAILED(SaveDirectly(second.Get(),
                                        directFolder + L"\\sent-" + std::to_wstring(i) + L".msg")))
                    status = 1;
                d = Microseconds() - start;
            }
        }
        addin.push_back(a);
        direct.push_back(d);
        ratios.push_back(a / d);
    }
    if (CountFiles(addinFolder) != static_cast<size_t>(count) ||
        CountFiles(directFolder) != static_cast<size_t>(count)) {
        std::fprintf(stderr, "archive-cost: not every message was saved\n");
        status = 1;
    }
    std::printf("archive-cost %d addin-us %.1f direct-us %.1f ratio-of-pairs %.3f\n", count,
                Median(addin), Median(direct), Median(ratios));
    return status;
}
