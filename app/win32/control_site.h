// The program's own control container: the site through which an ActiveX control hosted in one of
// our windows talks to that window, and the manager that decides which site class is made.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace vellumar {

class ControlSite;

// COM objects are destroyed only by their own Release, never through an interface pointer, so the
// interfaces' non-virtual destructors are harmless here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The in-place frame a control asks its site for. Kept apart from the site because the frame's
// EnableModeless means something else than the document host's.
class ControlFrame : public IOleInPlaceFrame {
public:
    explicit ControlFrame(ControlSite& owner) : site(owner) {}
    virtual ~ControlFrame() = default;

    // IUnknown (the site's identity)
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;
    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT border) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* activeObject, LPCOLESTR name) override;
    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenu(HMENU shared, HOLEMENU olemenu, HWND activeObject) override;
    STDMETHODIMP RemoveMenus(HMENU shared) override;
    STDMETHODIMP SetStatusText(LPCOLESTR text) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg, WORD id) override;

private:
    ControlSite& site;
};

// The ordinary site: client site and in-place site of one control inside a container window.
class ControlSite : public IOleClientSite, public IOleInPlaceSite {
public:
    explicit ControlSite(HWND container);
    virtual ~ControlSite() = default;
    ControlSite(const ControlSite&) = delete;
    ControlSite& operator=(const ControlSite&) = delete;

    HWND Container() const { return container; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** oleContainer) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL show) override;
    STDMETHODIMP RequestNewObjectLayout() override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT posRect,
                                  LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo) override;
    STDMETHODIMP Scroll(SIZE extent) override;
    STDMETHODIMP OnUIDeactivate(BOOL undoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT posRect) override;

protected:
    // Interfaces a derived site adds; E_NOINTERFACE when it has none for `riid`.
    virtual HRESULT QueryExtraInterface(REFIID riid, void** ppv);

private:
    LONG refCount = 1;
    HWND container;
    ControlFrame frame;
};

#pragma GCC diagnostic pop

// The control-container manager: which site the program makes for each hosted control.
using ControlSiteFactory = ControlSite* (*)(HWND container);
void EnableControlContainer(ControlSiteFactory factory);
// A new site (reference count 1) for a control inside `container`.
ControlSite* CreateControlSite(HWND container);

}  // namespace vellumar
