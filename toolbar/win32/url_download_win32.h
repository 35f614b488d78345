// A bounded download of one URL into a file through the platform's URL monikers: asynchronous binding,
// the bytes pulled from the binding's stream as they arrive and written until the DownloadGuard has
// decided, then the binding aborted.
//
// While it waits, the calling thread (the browser window's) handles its messages: the browser stays
// responsive, and the binding's own notifications, which reach an apartment thread as messages, get
// through. A caller must therefore expect its own events (and a press of the band's button) to arrive
// before this returns; `cancelled` is asked after each batch of messages.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "toolbar/download_guard.h"

// Results besides S_OK (the file holds what the extent asks for) and the transfer's own failures.
constexpr HRESULT kDownloadCapped = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
constexpr HRESULT kDownloadTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);  // stalled, or too long
constexpr HRESULT kDownloadNotJpeg = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr HRESULT kDownloadHttpError = INET_E_OBJECT_NOT_FOUND;  // the server answered with an error

// Replaces the file at `path`; on any failure the file is removed, so that no partial copy stays.
HRESULT DownloadUrlToFile(const std::wstring& url, const std::wstring& path, DownloadExtent extent,
                          const DownloadLimits& limits, const DownloadCancelled& cancelled);
