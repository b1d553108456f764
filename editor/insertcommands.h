#pragma once

// The Insert menu's commands: each appends a piece of definition-file syntax
// at the very end of the document.
void mnuInclude_Click();
void mnuItemSeparator_Click();
void mnuDoubleSlash_Click();
void mnuHash_Click();
