#pragma once

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
