#pragma once
// Opening a saved task project into the main window's fields, and the
// decision behind "View log file".

#include <string>

#include "control/task_fields.h"

namespace tessellon {

class MDTask;

// Fills the fields from the project file at `projectPath`. A file that is
// not a regular file or is over kInputFileLimit raises EFileError, and a file
// without every key a task's project holds before its THREADS section is
// refused with ENotAProjectError; either way no field changes. Read are the
// four bounds character for character, the folder and the file name of the
// path, the map type (the choice of the tile layer with that MapsType; a
// value no layer has leaves the choice as it was) and the zoom (a value that
// is no number reads 0; the up-down control holds it within 1..19, so the
// field shows the clamped value). A source task (MapsType 5) also gets its
// source, rebuilt from the project's SOURCE section; a section that does not
// make a source raises ETileSourceError naming the key. A task of several
// zooms gets its highest zoom, a shaped one the copy of its area beside the
// project (its buffer already applied, so the buffer field is emptied).
// Nothing else is read.
void LoadProjectIntoFields(const std::string& projectPath, TaskFields& fields);

// What "View log file" does: open `LogFileName` with the desktop, or show one
// of the two messages (NoTaskRunningMessage, NoLogFileMessage).
struct ViewLogAction {
    std::string FileToOpen;  // empty when a message is to be shown
    std::string Message;
};

ViewLogAction DecideViewLog(const MDTask* currentTask);

}  // namespace tessellon
