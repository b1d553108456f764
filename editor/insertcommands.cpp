#include "insertcommands.h"

#include "frmmain.h"

void mnuInclude_Click() {}
void mnuItemSeparator_Click() {}
void mnuDoubleSlash_Click() {}
void mnuHash_Click() {}
