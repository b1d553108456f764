#pragma once

// The editor's Help menu commands and the buttons of the windows they open.
void mnuHowToUse_Click();
void cmdBack_Click();
void mnuAbout_Click();
void cmdClose_Click();

// Hands the Help menu's commands to the editor, whose window connects them
// each time it is loaded. Called once at start, before the editor shows.
void installHelpMenu();
