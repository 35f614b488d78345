#include "app/win32/activation_hook.h"

namespace vellumar {

namespace {

// One hook per user-interface thread; the program has one such thread.
UINT hookedMessage = 0;
ActivationTarget* hookedTarget = nullptr;
HHOOK currentHook = nullptr;

}  // namespace

ActivationHook::ActivationHook(UINT activationMessage, ActivationTarget* target) {
    hookedMessage = activationMessage;
    hookedTarget = target;
    hook.Reset(SetWindowsHookExA(WH_GETMESSAGE, &Filter, nullptr, GetCurrentThreadId()));
    currentHook = hook.Get();
}

ActivationHook::~ActivationHook() {
    hook.Reset();
    currentHook = nullptr;
    hookedTarget = nullptr;
    hookedMessage = 0;
}

LRESULT CALLBACK ActivationHook::Filter(int code, WPARAM wParam, LPARAM lParam) {
    // Only messages being removed: a peek that leaves the message queued sees it again later.
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (msg != nullptr && FilterActivation(msg->message, hookedMessage, hookedTarget)) {
            // Handled: the message goes no further.
            msg->message = WM_NULL;
        }
    }
    return CallNextHookEx(currentHook, code, wParam, lParam);
}

}  // namespace vellumar
