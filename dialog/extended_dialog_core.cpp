#include "extended_dialog_core.h"

#include "extras/extras.h"
#include "filter_extras.h"
#include "levels_instance.h"

#include <cctype>
#include <cstdio>

namespace dialog {

namespace {

// An extra's control (its check box or its box) and its slider (0: none), in the
// order of filter_extras::Extra.
struct ExtraControls {
    int control;
    int slider;
};

constexpr ExtraControls kExtraControls[] = {
    {kIdCuts, 0},
    {kIdFollowTimeBox, 0},
    {kIdStrengthBox, kIdStrengthSlider},
    {kIdIndependenceBox, kIdIndependenceSlider},
    {kIdMarginTopBox, 0},
    {kIdMarginRightBox, 0},
    {kIdMarginBottomBox, 0},
    {kIdMarginLeftBox, 0},
};
static_assert(sizeof kExtraControls / sizeof kExtraControls[0] == filter_extras::kExtraCount, "a control per extra");

constexpr int kPercentSliderTicks = 10;

const filter_extras::ExtraInfo& infoOf(int k) { return filter_extras::kExtras[k]; }

bool isSwitch(int k) { return infoOf(k).form == filter_extras::Form::Switch; }

bool isMargin(int k) { return infoOf(k).form == filter_extras::Form::Pixels; }

void say(DialogPlatform& ui, const char* message) { ui.setText(kIdExtrasMessage, message); }

// The extra's value on its control and slider. A box's text comes back as typing that
// parses to the value in use, which changes nothing.
void showExtra(const extras::Instance& x, DialogPlatform& ui, int k)
{
    const int32_t value = filter_extras::valueOf(x, k);
    const ExtraControls& c = kExtraControls[k];
    if (isSwitch(k)) {
        ui.setCheckState(c.control, value);
        return;
    }
    if (c.slider != 0)
        ui.setSliderPos(c.slider, value);
    char text[16];
    filter_extras::formatText(infoOf(k), value, text, sizeof text);
    ui.setText(c.control, text);
}

// Why a text is refused, in a line that names the extra and what it takes.
void refusal(int k, char (&out)[kMessageMax])
{
    const filter_extras::ExtraInfo& info = infoOf(k);
    char name[32];
    std::snprintf(name, sizeof name, "%s", info.name);
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    switch (info.form) {
    case filter_extras::Form::Milliseconds:
        std::snprintf(out, sizeof out, "%s: 0 to %d seconds, to the millisecond", name,
                      static_cast<int>(info.max / 1000));
        break;
    case filter_extras::Form::Percent:
        std::snprintf(out, sizeof out, "%s: a whole percent from 0 to %d", name, static_cast<int>(info.max));
        break;
    default:
        std::snprintf(out, sizeof out, "%s: a whole number of pixels", name);
        break;
    }
}

// The user (or the dialog itself) changed the text of an extra's box.
void extraTyped(extras::Instance& x, DialogPlatform& ui, FrameSize frame, int k)
{
    const ExtraControls& c = kExtraControls[k];
    char text[kClipBoxTextMax + 1] = {};
    if (!ui.getText(c.control, text, sizeof text))
        text[0] = '\0';
    text[kClipBoxTextMax] = '\0';

    int32_t value = 0;
    const bool read = filter_extras::parseText(infoOf(k), text, value) == filter_extras::TextValue::Ok;
    // The value in use is never refused: a text put back after a refusal comes here.
    if (read && value == filter_extras::valueOf(x, k)) {
        say(ui, "");
        return;
    }
    char why[kMessageMax] = "";
    if (!read) {
        refusal(k, why);
    } else if (isMargin(k)) {
        int32_t margins[4];
        for (int side = 0; side < 4; ++side)
            margins[side] = x.options.margins[side];
        margins[k - filter_extras::kMarginTop] = value;
        marginsRefused(margins, frame, why);
    }
    if (why[0] == '\0') {
        filter_extras::setValue(x, k, value);
        if (c.slider != 0)
            ui.setSliderPos(c.slider, value);
        say(ui, "");
        refreshPreview(x.record, ui);
        return;
    }
    showExtra(x, ui, k);
    say(ui, why);
    ui.playSound(kRefusedSound);
}

} // namespace

bool marginsRefused(const int32_t m[4], FrameSize frame, char (&out)[kMessageMax])
{
    if (frame.w <= 0 || frame.h <= 0 || extras::marginsLeaveAPicture(m, frame.w, frame.h))
        return false;
    std::snprintf(out, sizeof out, "Margins %d/%d/%d/%d leave nothing of the %dx%d frame to count",
                  static_cast<int>(m[extras::kTop]), static_cast<int>(m[extras::kRight]),
                  static_cast<int>(m[extras::kBottom]), static_cast<int>(m[extras::kLeft]),
                  static_cast<int>(frame.w), static_cast<int>(frame.h));
    return true;
}

bool onExtendedInitDialog(extras::Instance& x, DialogPlatform& ui, FrameSize frame)
{
    const bool handled = onInitDialog(x.record, ui);
    for (int k = 0; k < filter_extras::kExtraCount; ++k) {
        const int slider = kExtraControls[k].slider;
        if (slider != 0) {
            ui.setSliderRange(slider, 0, infoOf(k).max);
            ui.setSliderTicks(slider, kPercentSliderTicks);
        }
        showExtra(x, ui, k);
    }
    // Margins from a script written for a larger frame: kept, but the user is told.
    char why[kMessageMax];
    if (marginsRefused(x.options.margins, frame, why))
        say(ui, why);
    return handled;
}

bool onExtendedCommand(extras::Instance& x, DialogPlatform& ui, FrameSize frame, int id, int notification)
{
    if (notification == kEditChanged)
        for (int k = 0; k < filter_extras::kExtraCount; ++k)
            if (!isSwitch(k) && id == kExtraControls[k].control)
                extraTyped(x, ui, frame, k);

    switch (id) {
    case kIdCuts:
        filter_extras::setValue(x, filter_extras::kCuts, ui.checkState(kIdCuts));
        refreshPreview(x.record, ui);
        return false;
    case kIdExtrasDefaults:
        filter_extras::resetExtras(x);
        for (int k = 0; k < filter_extras::kExtraCount; ++k)
            showExtra(x, ui, k);
        say(ui, "");
        refreshPreview(x.record, ui);
        return false;
    case kIdOk:
        // As rangewick's takes the clipped preview: from the box as the dialog ends.
        filter_extras::setValue(x, filter_extras::kCuts, ui.checkState(kIdCuts));
        break;
    default:
        break;
    }
    return onCommand(x.record, ui, id, notification);
}

bool onExtendedSliderMoved(extras::Instance& x, DialogPlatform& ui)
{
    onSliderMoved(x.record, ui);
    // As a clip share's slider: the box gets the text, and the typing path takes it.
    for (int k = 0; k < filter_extras::kExtraCount; ++k) {
        const ExtraControls& c = kExtraControls[k];
        if (c.slider == 0)
            continue;
        const int pos = ui.sliderPos(c.slider);
        if (pos == filter_extras::valueOf(x, k))
            continue;
        char text[16];
        filter_extras::formatText(infoOf(k), pos, text, sizeof text);
        ui.setText(c.control, text);
    }
    return false;
}

int configureExtended(extras::Instance& x, void* preview, int (*runDialog)(extras::Instance&, void*),
                      void* context)
{
    x.record.preview = preview;
    // The whole block, running state included (a few KiB, on the dialog's stack).
    const extras::Instance before = x;
    const int result = runDialog(x, context);
    if (result != 0) {
        x = before;
        x.record.preview = preview;
    }
    return result;
}

} // namespace dialog
