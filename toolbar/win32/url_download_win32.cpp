#include "toolbar/win32/url_download_win32.h"

#include <new>

#include "foundation/win32/com_ptr.h"
#include "foundation/win32/handles.h"
#include "toolbar/win32/server_object.h"

namespace {

// Status codes from 400 on are the server's refusal; their body is an error page, not the image.
constexpr DWORD kFirstHttpError = 400;
// After an abort the binding reports its end through this thread's messages; waiting this long for it
// lets the connection go before the next download starts, without holding up the caller.
constexpr uint64_t kStopWaitMs = 1000;
constexpr ULONG kReadChunk = 16 * 1024;

uint64_t Now() {
    return GetTickCount64();
}

// Handles the thread's messages that are waiting. False when the thread was asked to quit: the request
// is put back for the thread's own message loop, and the download ends.
bool PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE file) : handle(file) {}

    bool Valid() const { return handle.Valid(); }
    bool Write(const uint8_t* data, size_t size) {
        while (size > 0 && Valid()) {
            DWORD written = 0;
            if (!WriteFile(handle.Get(), data, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
                return false;
            }
            data += written;
            size -= written;
        }
        return Valid();
    }
    void Close() { handle.Reset(); }

private:
    KernelHandle handle;
};

// COM interfaces have no virtual destructor by design: an object deletes itself, as its own class, in
// Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The binding's callback: it owns the file and the guard, so that a notification that comes after the
// download has returned (the binding holds a reference until it ends) finds them still there.
class UrlDownload final : public CountedObject<IBindStatusCallback, IHttpNegotiate> {
public:
    UrlDownload(HANDLE file, DownloadExtent extent, const DownloadLimits& limits)
        : output(file), guard(extent, limits, Now()) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID interfaceId, void** result) override {
        if (result == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IBindStatusCallback)) {
            *result = static_cast<IBindStatusCallback*>(this);
        } else if (IsEqualIID(interfaceId, IID_IHttpNegotiate)) {
            *result = static_cast<IHttpNegotiate*>(this);
        } else {
            *result = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD, IBinding* newBinding) override {
        binding.Reset();
        if (newBinding != nullptr) {
            newBinding->AddRef();
            *binding.Put() = newBinding;
        }
        return S_OK;
    }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override {
        stopped = true;
        stopResult = result;
        guard.BodyEnded(SUCCEEDED(result));
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
        if (flags == nullptr || info == nullptr || info->cbSize < sizeof(ULONG)) {
            return E_INVALIDARG;
        }
        // Pulled from the stream as it arrives, and kept out of the browser's cache: the cache would
        // otherwise take the whole body of a hostile server. A copy the browser already has is still
        // read from it.
        *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_NOWRITECACHE;
        const ULONG size = info->cbSize;
        ZeroMemory(info, size);
        info->cbSize = size;
        info->dwBindVerb = BINDVERB_GET;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
        if (medium == nullptr || medium->tymed != TYMED_ISTREAM || medium->pstm == nullptr) {
            return S_OK;
        }
        // Read until the stream has nothing more for now (E_PENDING) or the guard has decided; the cap
        // bounds how long a stream that always has more can keep this going.
        while (!guard.Finished()) {
            ULONG read = 0;
            const HRESULT hr = medium->pstm->Read(buffer, kReadChunk, &read);
            if (read > 0) {
                const size_t kept = guard.Receive(buffer, read, Now());
                if (!output.Write(buffer, kept)) {
                    guard.BodyEnded(false);
                }
            }
            if (hr != S_OK || read == 0) {
                break;
            }
        }
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    // IHttpNegotiate
    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override {
        if (additionalHeaders != nullptr) {
            *additionalHeaders = nullptr;
        }
        return S_OK;
    }
    STDMETHODIMP OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override {
        if (additionalHeaders != nullptr) {
            *additionalHeaders = nullptr;
        }
        if (status >= kFirstHttpError) {
            httpError = true;
            guard.BodyEnded(false);
        }
        return S_OK;
    }

    // Handles the thread's messages until the guard has decided or the caller no longer wants the
    // download, then ends the binding.
    void Wait(const DownloadCancelled& cancelled) {
        while (!guard.Finished()) {
            if (cancelled && cancelled()) {
                guard.Cancel();
                break;
            }
            const uint64_t now = Now();
            guard.CheckTime(now);
            if (guard.Finished()) {
                break;
            }
            MsgWaitForMultipleObjectsEx(0, nullptr, guard.MillisecondsToDeadline(now), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
            if (!PumpMessages()) {
                guard.Cancel();
            }
        }
        output.Close();
        if (stopped || !binding) {
            return;
        }
        binding->Abort();
        const uint64_t until = Now() + kStopWaitMs;
        for (uint64_t now = Now(); !stopped && now < until; now = Now()) {
            MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(until - now), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
            if (!PumpMessages()) {
                break;
            }
        }
    }

    // The binding's result when it could not start at all.
    void Refused(HRESULT result) {
        stopResult = result;
        guard.BodyEnded(false);
    }

    HRESULT Result() const {
        if (guard.Succeeded()) {
            return S_OK;
        }
        switch (guard.Outcome()) {
            case DownloadOutcome::kCapped:
                return kDownloadCapped;
            case DownloadOutcome::kStalled:
            case DownloadOutcome::kTimedOut:
                return kDownloadTimedOut;
            case DownloadOutcome::kNotJpeg:
                return kDownloadNotJpeg;
            case DownloadOutcome::kCancelled:
                return E_ABORT;
            default:
                break;
        }
        if (httpError) {
            return kDownloadHttpError;
        }
        return FAILED(stopResult) ? stopResult : E_FAIL;
    }

private:
    ~UrlDownload() override = default;

    FileHandle output;
    DownloadGuard guard;
    ComPtr<IBinding> binding;
    bool stopped = false;
    bool httpError = false;
    HRESULT stopResult = S_OK;
    uint8_t buffer[kReadChunk];
};
#pragma GCC diagnostic pop

}  // namespace

HRESULT DownloadUrlToFile(const std::wstring& url, const std::wstring& path, DownloadExtent extent,
                          const DownloadLimits& limits, const DownloadCancelled& cancelled) {
    KernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    UrlDownload* download = new (std::nothrow) UrlDownload(file.Get(), extent, limits);
    if (download == nullptr) {
        file.Reset();  // closed before it can be deleted
        DeleteFileW(path.c_str());
        return E_OUTOFMEMORY;
    }
    file.Release();  // the download's from here on
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> context;
    HRESULT hr = CreateURLMonikerEx(nullptr, url.c_str(), moniker.Put(), URL_MK_UNIFORM);
    if (SUCCEEDED(hr)) {
        hr = CreateAsyncBindCtx(0, download, nullptr, context.Put());
    }
    if (SUCCEEDED(hr)) {
        // The storage comes through OnDataAvailable; what BindToStorage hands back is not needed.
        ComPtr<IStream> stream;
        hr = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, stream.PutVoid());
    }
    if (FAILED(hr)) {
        download->Refused(hr);
    }
    download->Wait(cancelled);
    hr = download->Result();
    if (context) {
        RevokeBindStatusCallback(context.Get(), download);
    }
    download->Release();
    if (FAILED(hr)) {
        DeleteFileW(path.c_str());
    }
    return hr;
}
