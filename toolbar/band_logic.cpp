#include "toolbar/band_logic.h"

namespace {

constexpr BandSize kMinSize{250, 20};
constexpr BandSize kMaxSize{0, -1};  // -1: no height limit
constexpr BandSize kIntegral{1, 1};
constexpr BandSize kActual{250, 20};

}  // namespace

void FillBandInfo(BandInfo& info) {
    if (info.mask & kBandInfoMinSize) {
        info.minSize = kMinSize;
    }
    if (info.mask & kBandInfoMaxSize) {
        info.maxSize = kMaxSize;
    }
    if (info.mask & kBandInfoIntegral) {
        info.integral = kIntegral;
    }
    if (info.mask & kBandInfoActual) {
        info.actual = kActual;
    }
    if (info.mask & kBandInfoTitle) {
        info.titleSet = true;
    }
    if (info.mask & kBandInfoModeFlags) {
        info.modeFlags = kBandModeVariableHeight;
    }
    info.mask &= ~kBandInfoBackColor;
}

int32_t HandleBandCommand(uint16_t notifyCode, uint16_t commandId, const std::function<bool()>& isChecked,
                          CaptionSwitch& captions) {
    if (notifyCode != 0 || commandId != kButtonCommand) {
        return -1;
    }
    if (isChecked()) {
        // The pass lets the browser handle its messages, a second press among them: the button's state
        // after the pass decides.
        if (!captions.Annotated()) {
            captions.AnnotatePage();
            if (!isChecked()) {
                return 0;
            }
        }
        captions.ShowCaptions();
    } else {
        captions.HideCaptions();
    }
    return 0;
}

SiteWindowAction DecideSiteWindows(bool windowsExist, bool sameParent) {
    if (!windowsExist) {
        return SiteWindowAction::kCreate;
    }
    return sameParent ? SiteWindowAction::kReuse : SiteWindowAction::kReparent;
}
