// The configuration dialog's window layer: the modal dialog of template 101 on the
// instance record, with the host's live preview reached through a port the host
// supplies. Nothing here knows the host's records.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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

} // namespace dialog
