// The receiving side of "NTO Vellumar activation": every message the user-interface thread takes
// from its queue is checked before it is translated and dispatched.
#pragma once

namespace vellumar {

class ActivationTarget {
public:
    virtual ~ActivationTarget() = default;
    virtual void ShowWindow() = 0;
};

// True when `message` is the activation message: the main window (if there is one) has been brought
// to the front, and the message must go no further.
inline bool FilterActivation(unsigned message, unsigned activationMessage, ActivationTarget* mainWindow) {
    if (activationMessage == 0 || message != activationMessage) {
        return false;
    }
    if (mainWindow != nullptr) {
        mainWindow->ShowWindow();
    }
    return true;
}

}  // namespace vellumar
