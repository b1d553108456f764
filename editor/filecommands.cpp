#include "filecommands.h"

#include "frmmain.h"

void mnuNew_Click() {}
void mnuOpen_Click() {}
void mnuSave_Click() {}
void mnuSaveAs_Click() {}
void mnuExit_Click() {}

bool confirmDiscardChanges()
{
    return true;
}
