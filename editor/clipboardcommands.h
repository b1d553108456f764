#pragma once

// The Edit menu's commands.
void mnuCut_Click();
void mnuCopy_Click();
void mnuPaste_Click();
void mnuUndo_Click();
void mnuRedo_Click();
void mnuSelectAll_Click();
