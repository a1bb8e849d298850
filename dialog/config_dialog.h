// The configuration dialogs' window layer: the modal dialog of template 101 on the
// instance record (102 on the extended filter's instance), with the host's live
// preview reached through a port the host supplies. Nothing here knows the host's
// records.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "extended_dialog_core.h"

struct LevelsInstance;

namespace dialog {

// The host's live preview as the dialog uses it. `object` is the host's preview,
// opaque here (null when the host offers none); it is what the record's `preview`
// holds while the dialog is open. Each operation gets it back.
struct PreviewPort {
    void* object;
    void (*attachButton)(void* object, HWND button);  // the host owns the button from now on
    void (*toggle)(void* object, HWND owner);          // opens or closes the preview window
    void (*redoFrame)(void* object);                   // reruns the filter on the shown frame
};

// Runs the dialog of template 101 in `module`, owned by `parent`, on `inst`. Returns 0
// when the user pressed "OK"; 1 for "Cancel" (button, Escape or close box), after
// putting every setting back as it was; -1 when the dialog could not be made.
int runConfigDialog(LevelsInstance& inst, HINSTANCE module, HWND parent, const PreviewPort& preview) noexcept;

// The same for the extended filter: template 102 on the whole extended instance, with
// the frame the host prepared (0 x 0 where it gives none).
int runExtendedConfigDialog(extras::Instance& x, HINSTANCE module, HWND parent, const PreviewPort& preview,
                            FrameSize frame) noexcept;

} // namespace dialog
