#pragma once

// The Edit menu's commands.
void mnuCut_Click();
void mnuCopy_Click();
void mnuPaste_Click();
