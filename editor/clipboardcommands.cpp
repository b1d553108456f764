#include "clipboardcommands.h"

#include "frmmain.h"

void mnuCut_Click() {}
void mnuCopy_Click() {}
void mnuPaste_Click() {}
