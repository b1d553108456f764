#pragma once

// The Edit menu's commands that search the document and move in it.
void mnuFind_Click();
void mnuFindNext_Click();
void mnuFindPrevious_Click();
void mnuReplace_Click();
void mnuGoToLine_Click();
