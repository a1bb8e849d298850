#include "dialog_core.h"

#include "levels_instance.h"
#include "settings.h"
#include "share_text.h"

#include <cstring>
#include <initializer_list>

namespace dialog {

namespace {

constexpr int kSharePerSliderStep = 100;      // sliders of the shares move in whole percent
constexpr int kShareSliderMax = settings::kShareMax / kSharePerSliderStep;
constexpr int kShareSliderTicks = 5;
constexpr int kLevelSliderTicks = 15;

// A setting's box and slider, and the field of the record they show.
struct Controls {
    int box;
    int slider;
    int32_t LevelsInstance::*field;
};

constexpr Controls kHighlightClip = {kIdHighlightClipBox, kIdHighlightClipSlider, &LevelsInstance::highlightClip};
constexpr Controls kShadowClip = {kIdShadowClipBox, kIdShadowClipSlider, &LevelsInstance::shadowClip};
constexpr Controls kHighlightsMin = {kIdHighlightsMinBox, kIdHighlightsMinSlider, &LevelsInstance::highlightsMin};
constexpr Controls kShadowsMax = {kIdShadowsMaxBox, kIdShadowsMaxSlider, &LevelsInstance::shadowsMax};

void showShare(DialogPlatform& ui, int box, int32_t share)
{
    char text[16];
    settings::formatShare(share, text, sizeof text);
    ui.setText(box, text);      // comes back here as a change of the box's text
}

void showLimit(LevelsInstance& inst, DialogPlatform& ui, const Controls& c)
{
    ui.setSliderPos(c.slider, inst.*c.field);
    ui.setNumber(c.box, static_cast<unsigned>(inst.*c.field));
}

// The user (or the dialog itself) changed the text of a clip box.
void clipTextChanged(LevelsInstance& inst, DialogPlatform& ui, const Controls& c)
{
    char text[kClipBoxTextMax + 1] = {};
    if (!ui.getText(c.box, text, sizeof text))
        text[0] = '\0';
    text[kClipBoxTextMax] = '\0';

    int32_t share = 0;
    if (textToShare(text, share)) {
        inst.*c.field = share;
        ui.setSliderPos(c.slider, share / kSharePerSliderStep);
        refreshPreview(inst, ui);
        return;
    }
    // Refused: the stored share goes back into the box (which passes through here
    // again, valid this time) and the user hears why.
    showShare(ui, c.box, inst.*c.field);
    ui.playSound(kRefusedSound);
}

void clipSliderMoved(LevelsInstance& inst, DialogPlatform& ui, const Controls& c)
{
    const int pos = ui.sliderPos(c.slider);
    if (pos == inst.*c.field / kSharePerSliderStep)
        return;
    inst.*c.field = pos * kSharePerSliderStep;
    showShare(ui, c.box, inst.*c.field);
}

void limitSliderMoved(LevelsInstance& inst, DialogPlatform& ui, const Controls& c)
{
    const int pos = ui.sliderPos(c.slider);
    if (pos == inst.*c.field)
        return;
    inst.*c.field = pos;
    ui.setNumber(c.box, static_cast<unsigned>(pos));
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
    inst.tracking = 0;
    if (inst.preview)
        ui.previewRedoFrame(inst.preview);
    inst.tracking = 0;
    if (inst.preview)
        ui.previewRedoFrame(inst.preview);
}

bool onInitDialog(LevelsInstance& inst, DialogPlatform& ui)
{
    ui.setCheckState(kIdPreviewClipped, inst.previewClipped);
    for (const Controls* c : {&kHighlightClip, &kShadowClip}) {
        ui.setSliderRange(c->slider, 0, kShareSliderMax);
        ui.setSliderTicks(c->slider, kShareSliderTicks);
        ui.setSliderPos(c->slider, inst.*c->field / kSharePerSliderStep);
    }
    showShare(ui, kIdHighlightClipBox, inst.highlightClip);
    showShare(ui, kIdShadowClipBox, inst.shadowClip);
    for (const Controls* c : {&kHighlightsMin, &kShadowsMax}) {
        ui.setSliderRange(c->slider, 0, settings::kLevelMax);
        ui.setSliderTicks(c->slider, kLevelSliderTicks);
        ui.setSliderPos(c->slider, inst.*c->field);
    }
    ui.setNumber(kIdHighlightsMinBox, static_cast<unsigned>(inst.highlightsMin));
    ui.setNumber(kIdShadowsMaxBox, static_cast<unsigned>(inst.shadowsMax));
    if (inst.preview)
        ui.previewInitButton(inst.preview, kIdPreview);
    else
        ui.enableControl(kIdPreview, false);    // no host preview to show
    return true;
}

bool onCommand(LevelsInstance& inst, DialogPlatform& ui, int id, int notification)
{
    if (notification == kEditChanged) {
        if (id == kIdHighlightClipBox)
            clipTextChanged(inst, ui, kHighlightClip);
        else if (id == kIdShadowClipBox)
            clipTextChanged(inst, ui, kShadowClip);
    }

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
        showLimit(inst, ui, kHighlightsMin);
        showLimit(inst, ui, kShadowsMax);
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
    clipSliderMoved(inst, ui, kHighlightClip);
    clipSliderMoved(inst, ui, kShadowClip);
    limitSliderMoved(inst, ui, kHighlightsMin);
    limitSliderMoved(inst, ui, kShadowsMax);
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
