// The extended filter's dialog, apart from any window system: rangewick's dialog on the
// instance's rangewick record, and a group for the extras. An extra's box takes the
// extra's text form (filter_extras::parseText); a text that is refused puts the value in use
// back, as rangewick's clip boxes do, with the asterisk and a line saying why. Like
// rangewick's, it keeps no state of its own.
#pragma once

#include "dialog_core.h"

#include <cstdint>

namespace extras {
struct Instance;
}

namespace dialog {

constexpr int kExtendedDialogTemplateId = 102;

// Controls of template 102 beyond rangewick's, which keep their identifiers.
enum ExtendedControlId : int {
    kIdCuts                = 1020,
    kIdFollowTimeBox       = 1021,
    kIdStrengthSlider      = 1022,
    kIdStrengthBox         = 1023,
    kIdIndependenceSlider  = 1024,
    kIdIndependenceBox     = 1025,
    kIdMarginTopBox        = 1026,   // then right, bottom, left
    kIdMarginRightBox      = 1027,
    kIdMarginBottomBox     = 1028,
    kIdMarginLeftBox       = 1029,
    kIdExtrasDefaults      = 1030,
    kIdExtrasMessage       = 1031,
};

// The frame the host last prepared the filter for; 0 x 0 where it gives none. Margins
// that leave nothing of it to count are refused.
struct FrameSize {
    int32_t w;
    int32_t h;
};

// The longest message the line under the extras shows, with terminator.
constexpr int kMessageMax = 128;

bool onExtendedInitDialog(extras::Instance& x, DialogPlatform& ui, FrameSize frame);
bool onExtendedCommand(extras::Instance& x, DialogPlatform& ui, FrameSize frame, int id, int notification);
bool onExtendedSliderMoved(extras::Instance& x, DialogPlatform& ui);

// Why the margins `m` (top, right, bottom, left) cannot be used with the frame, into
// out; false when they can (or the frame is not known).
bool marginsRefused(const int32_t m[4], FrameSize frame, char (&out)[kMessageMax]);

// As configure, for the whole extended instance: anything but acceptance puts it back as
// it was, keeping only the new preview pointer.
int configureExtended(extras::Instance& x, void* preview, int (*runDialog)(extras::Instance&, void*),
                      void* context);

} // namespace dialog
