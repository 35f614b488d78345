// Puts the activation filter in front of every message the calling thread takes from its queue,
// including those of modal loops that are not ours (dialog boxes, message boxes, menus).
#pragma once

#include <windows.h>

#include "app/activation_filter.h"
#include "foundation/win32/handles.h"

namespace vellumar {

class ActivationHook {
public:
    // `target` may be null: the activation message is then swallowed without effect.
    ActivationHook(UINT activationMessage, ActivationTarget* target);
    ~ActivationHook();
    ActivationHook(const ActivationHook&) = delete;
    ActivationHook& operator=(const ActivationHook&) = delete;

    bool Installed() const { return hook.Valid(); }

private:
    static LRESULT CALLBACK Filter(int code, WPARAM wParam, LPARAM lParam);

    WindowsHook hook;
};

}  // namespace vellumar
