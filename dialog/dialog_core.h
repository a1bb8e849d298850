// The configuration dialog's behaviour, apart from any window system: the window layer
// feeds it the dialog's messages, and it reaches controls, sound, shell and the host's
// preview through DialogPlatform. It keeps no state of its own; everything it changes
// is in the instance record, at once.
#pragma once

#include <cstdint>

struct LevelsInstance;

namespace dialog {

// Control identifiers of dialog template 101; template 102 has the same ones.
enum ControlId : int {
    kIdOk                  = 1,
    kIdCancel              = 2,
    kIdDefaults            = 3,
    kIdHelp                = 9,
    kIdPreview             = 10,
    kIdHighlightClipSlider = 1002,
    kIdShadowClipSlider    = 1003,
    kIdHighlightClipBox    = 1004,
    kIdShadowClipBox       = 1005,
    kIdPreviewClipped      = 1006,
    kIdHighlightsMinSlider = 1007,
    kIdShadowsMaxSlider    = 1010,
    kIdHighlightsMinBox    = 1011,
    kIdShadowsMaxBox       = 1012,
};

constexpr int kDialogTemplateId = 101;

// An edit box's "text changed" notification code.
constexpr int kEditChanged = 0x0300;

constexpr int kClipBoxTextMax = 27;                     // characters read from a clip box
constexpr int kPathBufferSize = 256;                    // every help-path buffer
constexpr unsigned kPathLimit = 255;                    // size handed to the path functions
constexpr const char kHelpPage[] = "plugins\\rangewick.html";
constexpr const char kRefusedSound[] = "SystemAsterisk";

// What the dialog needs from the window system and the host. Setting an edit box's
// text (setText, setNumber) must deliver that box's change notification to the dialog
// before it returns, as the window system does.
class DialogPlatform {
public:
    // The control's text into out (size characters with terminator); false when it fails.
    virtual bool getText(int id, char* out, int size) = 0;
    virtual void setText(int id, const char* text) = 0;
    virtual void setNumber(int id, unsigned value) = 0;
    virtual void setSliderRange(int id, int low, int high) = 0;
    virtual void setSliderTicks(int id, int every) = 0;
    virtual void setSliderPos(int id, int pos) = 0;
    virtual int  sliderPos(int id) = 0;
    virtual int  checkState(int id) = 0;
    virtual void setCheckState(int id, int state) = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    virtual void playSound(const char* systemSoundName) = 0;
    // The main program's file name into out with size characters including the
    // terminator; returns its length, or size when the name did not fit, or 0.
    virtual unsigned programPath(char* out, unsigned size) = 0;
    // Resolves path into out (size with terminator); returns the length written, or
    // the size needed (terminator included) when it did not fit, or 0.
    virtual unsigned fullPath(const char* path, char* out, unsigned size) = 0;
    virtual void openDocument(const char* path) = 0;
    virtual void previewInitButton(void* preview, int buttonId) = 0;
    virtual void previewToggle(void* preview) = 0;
    virtual void previewRedoFrame(void* preview) = 0;
    virtual void endDialog(int result) = 0;

protected:
    ~DialogPlatform() = default;
};

// Message handlers; each returns whether the message counts as handled.
bool onInitDialog(LevelsInstance& inst, DialogPlatform& ui);
bool onCommand(LevelsInstance& inst, DialogPlatform& ui, int id, int notification);
bool onSliderMoved(LevelsInstance& inst, DialogPlatform& ui);

// Has the host show the current frame as the new settings make it: the first run
// snaps the points to the frame, the second maps the frame through their table.
void refreshPreview(LevelsInstance& inst, DialogPlatform& ui);

// The help page beside the host: the program's directory followed by kHelpPage.
// False, with out untouched, when that path cannot be made within the buffers.
bool helpPagePath(DialogPlatform& ui, char (&out)[kPathBufferSize]);

// Runs one configuration with the preview interface `preview`: `runDialog` shows the
// modal dialog and returns what it ended with (0 accepted). Anything but acceptance
// puts the record back as it was, keeping only the new preview pointer.
int configure(LevelsInstance& inst, void* preview, int (*runDialog)(LevelsInstance&, void*), void* context);

} // namespace dialog
