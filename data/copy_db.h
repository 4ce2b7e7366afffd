#pragma once

// Moving a database whose folder path holds a space into TestDB, a folder without spaces.

#include "core/dialogs.h"
#include "core/folder_box.h"

#include <QString>

namespace data {

enum class CopyDbOutcome {
    NoSpace, // nothing asked: the folder path holds no space between its ends
    Declined, // the user said No
    Copied, // the folder box now names TestDB, which holds a copy of the old folder
    NotCopied, // the copy failed and was reported; the folder box is unchanged
};

// The folder that TestDB goes into, ending with a separator: the root of the program's
// drive where the platform has drives, the user's home folder where it has none.
QString AppDriveRoot();

// When the folder box's text, trimmed of spaces at its ends, still holds a space, asks
// whether to copy the folder into driveRoot + "TestDB" ("sample" or "Your" db files, after
// isSample). On Yes creates TestDB when needed, copies the whole folder into it (replacing
// files of the same name, keeping other files there) and sets the folder box to TestDB.
// A failing step is reported to dialogs; when the copy failed, the folder box keeps its
// text, so the user never works on an older database left in TestDB.
CopyDbOutcome CopyDB(bool isSample, core::FolderBox& folderBox, core::Dialogs& dialogs,
    const QString& driveRoot = AppDriveRoot());

} // namespace data
