// Vellumar's start-up and shutdown: refuse to run beside the Find Files dialog, run the main dialog
// modally with the activation filter in place, and end when it ends.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/win32/activation_hook.h"
#include "app/win32/custom_control_site.h"
#include "app/win32/engine_indexing_service.h"
#include "app/resource_ids.h"
#include "app/win32/update_index_dialog.h"
#include "foundation/win32/handles.h"

namespace vellumar {

namespace {

constexpr char kActivationMessageName[] = "NTO Vellumar activation";
constexpr char kFindFilesMutexName[] = "NTO FindFiles Mutex";

// Exit statuses.
constexpr int kExitNormal = 0;
constexpr int kExitFindFilesRunning = 2;
constexpr int kExitAnotherCopyRuns = 3;

std::string LoadText(UINT id) {
    char buffer[256] = {};
    int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

// The Find Files dialog holds its mutex while it runs; we only look, never hold it.
bool FindFilesDialogRuns() {
    const KernelHandle probe(CreateMutexA(nullptr, FALSE, kFindFilesMutexName));
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

int RunVellumar() {
    UINT activationMessage = RegisterWindowMessageA(kActivationMessageName);
    if (FindFilesDialogRuns()) {
        MessageBoxA(nullptr, LoadText(IDS_FIND_FILES_RUNNING).c_str(), LoadText(IDS_CANT_START).c_str(),
                    MB_OK);
        return kExitFindFilesRunning;
    }
    // The browser control of the page area needs a single-threaded apartment. COM stays initialised
    // until the process ends.
    CoInitialize(nullptr);
    EnableControlContainer(&CCustomControlSite::Create);
    EngineIndexingService::OpenEngine();

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    EngineIndexingService service;
    bool steppedAside = false;
    {
        UpdateIndexDialog dialog(service, DialogRelay(), activationMessage);
        ActivationHook filter(activationMessage, &dialog);
        dialog.DoModal();
        steppedAside = dialog.Controller().SteppedAside();
    }
    return steppedAside ? kExitAnotherCopyRuns : kExitNormal;
}

}  // namespace

}  // namespace vellumar

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return vellumar::RunVellumar();
}
