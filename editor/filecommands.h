#pragma once

#include <QString>

// The File menu's commands.
void mnuNew_Click();
void mnuOpen_Click();
void mnuSave_Click();
void mnuSaveAs_Click();
void mnuExit_Click();

// Asks "Save Changes?" when the document has unsaved changes. Returns true
// when the caller may go on and drop the text: nothing to save, the user
// said No, or the save the user asked for succeeded.
bool confirmDiscardChanges();

// Loads the file at path into the editor as Open does once a file is chosen
// (also for a file named on the command line): on success the caption shows
// its name and it becomes the document's file and the open dialog's start
// place; on failure the user is told why and nothing changes. A big file
// goes on loading after this returns; cancelled, it leaves all as it was.
bool openDocument(const QString &path);

// Tells the user when the document's file has changed on disk since it was
// read or saved (once for each change): offers to reload a document without
// unsaved changes, and says that Save will ask for one with them.
void checkDocumentOnDisk();
