#pragma once

// The editor's Help menu commands: the help page and the About window.
void mnuHowToUse_Click();
void mnuAbout_Click();

// Connects the editor's Help menu items to their commands each time the
// editor window is loaded.
void installHelpMenu();
