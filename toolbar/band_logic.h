// The toolbar band's decisions, apart from its windows: the size values it reports to the browser, what
// its "Show" button means for the document handler, and what a new site does to existing windows.
#pragma once

#include <cstdint>
#include <functional>

#include "toolbar/document_handler_logic.h"

constexpr const char* kButtonLabel = "Show";
constexpr uint16_t kButtonCommand = 202;
constexpr int kButtonIconResource = 201;
constexpr const char* kToolbarClassName = "NOTARATOOLBAR";

// Request mask bits and mode flags of the browser's band information record (same values as the
// platform's DBIM_* and DBIMF_* constants).
constexpr uint32_t kBandInfoMinSize = 0x0001;
constexpr uint32_t kBandInfoMaxSize = 0x0002;
constexpr uint32_t kBandInfoIntegral = 0x0004;
constexpr uint32_t kBandInfoActual = 0x0008;
constexpr uint32_t kBandInfoTitle = 0x0010;
constexpr uint32_t kBandInfoModeFlags = 0x0020;
constexpr uint32_t kBandInfoBackColor = 0x0040;
constexpr uint32_t kBandModeVariableHeight = 0x0008;

struct BandSize {
    int32_t x = 0;
    int32_t y = 0;
};

// The platform-neutral band information record: the mask says which fields the browser asks for.
struct BandInfo {
    uint32_t mask = 0;
    BandSize minSize;
    BandSize maxSize;
    BandSize integral;
    BandSize actual;
    bool titleSet = false;  // the title is empty: set means "copied the empty title"
    uint32_t modeFlags = 0;
};

// Fills the fields the mask asks for and clears the background bit, so that the browser paints the band
// with its own background.
void FillBandInfo(BandInfo& info);

// Result of a WM_COMMAND for the toolbar control: 0 when the "Show" button was handled, -1 otherwise.
// `isChecked` is asked only for the button's own command (the state lives in the toolbar control), and
// again after an annotation pass.
int32_t HandleBandCommand(uint16_t notifyCode, uint16_t commandId, const std::function<bool()>& isChecked,
                          CaptionSwitch& captions);

// What SetSite does with the band's windows for a site whose window is valid.
enum class SiteWindowAction {
    kCreate,    // no windows yet
    kReuse,     // windows exist under the same parent
    kReparent,  // windows exist under another parent: move them, never make a second set
};
SiteWindowAction DecideSiteWindows(bool windowsExist, bool sameParent);
