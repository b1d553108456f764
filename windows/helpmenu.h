#pragma once

// The editor's Help menu commands and the buttons of the windows they open.
void mnuHowToUse_Click();
void cmdBack_Click();
void mnuAbout_Click();
void cmdClose_Click();

// Connects the editor's Help menu items to their commands each time the
// editor window is loaded.
void installHelpMenu();
