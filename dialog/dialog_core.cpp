#include "dialog_core.h"

#include "levels_instance.h"
#include "settings.h"
#include "share_text.h"

#include <cstring>

namespace dialog {

namespace {

// A setting's box and slider; what they show comes from the settings table entry of
// the same place.
struct Controls {
    int box;
    int slider;
};

// Boxes and sliders of the stored settings, in the settings table's order.
constexpr Controls kControls[] = {
    {kIdHighlightClipBox, kIdHighlightClipSlider},
    {kIdShadowClipBox, kIdShadowClipSlider},
    {kIdHighlightsMinBox, kIdHighlightsMinSlider},
    {kIdShadowsMaxBox, kIdShadowsMaxSlider},
};
static_assert(sizeof kControls / sizeof kControls[0] == settings::kStoredCount, "one box and slider per setting");

constexpr int kSharePerSliderStep = 100;      // sliders of the shares move in whole percent
constexpr int kShareSliderTicks = 5;
constexpr int kLevelSliderTicks = 15;

bool isShare(const settings::SettingInfo& s) { return s.form == settings::Form::Share; }

// Slider positions per unit of the setting's value.
int perStep(const settings::SettingInfo& s) { return isShare(s) ? kSharePerSliderStep : 1; }

// Shows the value in the setting's box. A share's text comes back here as a change of
// the box's text; a limit's box is read-only.
void showText(DialogPlatform& ui, const settings::SettingInfo& s, int box, int32_t value)
{
    if (isShare(s)) {
        char text[16];
        settings::formatShare(value, text, sizeof text);
        ui.setText(box, text);
    } else {
        ui.setNumber(box, static_cast<unsigned>(value));
    }
}

// The setting's value on its slider and in its box.
void show(LevelsInstance& inst, DialogPlatform& ui, int k)
{
    const settings::SettingInfo& s = settings::kStored[k];
    ui.setSliderPos(kControls[k].slider, inst.*s.field / perStep(s));
    showText(ui, s, kControls[k].box, inst.*s.field);
}

// The user (or the dialog itself) changed the text of a clip box.
void clipTextChanged(LevelsInstance& inst, DialogPlatform& ui, int k)
{
    const settings::SettingInfo& s = settings::kStored[k];
    const Controls& c = kControls[k];
    char text[kClipBoxTextMax + 1] = {};
    if (!ui.getText(c.box, text, sizeof text))
        text[0] = '\0';
    text[kClipBoxTextMax] = '\0';

    int32_t share = 0;
    if (textToShare(text, share)) {
        inst.*s.field = share;
        ui.setSliderPos(c.slider, share / kSharePerSliderStep);
        refreshPreview(inst, ui);
        return;
    }
    // Refused: the stored share goes back into the box (which passes through here
    // again, valid this time) and the user hears why.
    showText(ui, s, c.box, inst.*s.field);
    ui.playSound(kRefusedSound);
}

void sliderMoved(LevelsInstance& inst, DialogPlatform& ui, int k)
{
    const settings::SettingInfo& s = settings::kStored[k];
    const Controls& c = kControls[k];
    const int pos = ui.sliderPos(c.slider);
    if (pos == inst.*s.field / perStep(s))
        return;
    inst.*s.field = pos * perStep(s);
    showText(ui, s, c.box, inst.*s.field);
    // A share's box refreshes the preview when its text changes.
    if (!isShare(s))
        refreshPreview(inst, ui);
}

void openHelp(DialogPlatform& ui)
{
    char path[kPathBufferSize];
    if (helpPagePath(ui, path))
        ui.openDocument(path);
    else
        ui.playSound(kRefusedSound);
}

} // namespace

void refreshPreview(LevelsInstance& inst, DialogPlatform& ui)
{
    snapPointsOnNextFrame(inst);
    if (inst.preview)
        ui.previewRedoFrame(inst.preview);
    snapPointsOnNextFrame(inst);
    if (inst.preview)
        ui.previewRedoFrame(inst.preview);
}

bool onInitDialog(LevelsInstance& inst, DialogPlatform& ui)
{
    ui.setCheckState(kIdPreviewClipped, inst.previewClipped);
    for (int k = 0; k < settings::kStoredCount; ++k) {
        const settings::SettingInfo& s = settings::kStored[k];
        const Controls& c = kControls[k];
        ui.setSliderRange(c.slider, 0, s.max / perStep(s));
        ui.setSliderTicks(c.slider, isShare(s) ? kShareSliderTicks : kLevelSliderTicks);
        show(inst, ui, k);
    }
    if (inst.preview)
        ui.previewInitButton(inst.preview, kIdPreview);
    else
        ui.enableControl(kIdPreview, false);    // no host preview to show
    return true;
}

bool onCommand(LevelsInstance& inst, DialogPlatform& ui, int id, int notification)
{
    if (notification == kEditChanged)
        for (int k = 0; k < settings::kStoredCount; ++k)
            if (id == kControls[k].box && isShare(settings::kStored[k]))
                clipTextChanged(inst, ui, k);

    switch (id) {
    case kIdOk:
        inst.previewClipped = ui.checkState(kIdPreviewClipped);
        ui.endDialog(0);
        return true;
    case kIdCancel:
        ui.endDialog(1);
        return false;
    case kIdDefaults:
        resetAdvancedLimits(inst);
        for (int k = 0; k < settings::kStoredCount; ++k)
            if (!isShare(settings::kStored[k]))
                show(inst, ui, k);
        refreshPreview(inst, ui);
        return false;
    case kIdHelp:
        openHelp(ui);
        return true;
    case kIdPreview:
        if (inst.preview)
            ui.previewToggle(inst.preview);
        return false;
    case kIdPreviewClipped:
        inst.previewClipped = ui.checkState(kIdPreviewClipped);
        refreshPreview(inst, ui);
        return false;
    default:
        return false;
    }
}

bool onSliderMoved(LevelsInstance& inst, DialogPlatform& ui)
{
    for (int k = 0; k < settings::kStoredCount; ++k)
        sliderMoved(inst, ui, k);
    return false;
}

bool helpPagePath(DialogPlatform& ui, char (&out)[kPathBufferSize])
{
    char program[kPathBufferSize] = {};
    const unsigned programLength = ui.programPath(program, kPathLimit);
    if (programLength == 0 || programLength >= kPathLimit)
        return false;                       // failed, or cut short: not the real directory
    program[programLength] = '\0';

    char full[kPathBufferSize] = {};
    const unsigned fullLength = ui.fullPath(program, full, kPathLimit);
    if (fullLength == 0 || fullLength >= kPathLimit)
        return false;                       // failed, or the size it would need
    full[fullLength] = '\0';

    std::size_t dirLength = 0;
    for (std::size_t i = 0; i < fullLength; ++i)
        if (full[i] == '\\' || full[i] == '/')
            dirLength = i + 1;
    if (dirLength == 0)
        return false;
    if (dirLength + sizeof kHelpPage > kPathBufferSize)
        return false;                       // the page's name would not fit after the directory
    std::memcpy(out, full, dirLength);
    std::memcpy(out + dirLength, kHelpPage, sizeof kHelpPage);
    return true;
}

int configure(LevelsInstance& inst, void* preview, int (*runDialog)(LevelsInstance&, void*), void* context)
{
    inst.preview = preview;
    const LevelsInstance before = inst;
    const int result = runDialog(inst, context);
    if (result != 0) {
        // The host keeps whatever a cancelled dialog left in the record; undo it here.
        inst = before;
        inst.preview = preview;
    }
    return result;
}

} // namespace dialog
