#pragma once

// The editor's Help menu commands and the help window's way back.
void mnuHowToUse_Click();
void cmdBack_Click();
void mnuAbout_Click();

// Connects the editor's Help menu and the help window's Back button to the
// commands above, for every load of those windows. Called once at start,
// before the editor is loaded.
void installHelpMenu();
