#include "repair/boxes.h"

static const char wizardCaption[] = "Verolund Wizard";

int Ask(const char *text, UINT type)
{
    return MessageBoxA(NULL, text, wizardCaption, type);
}
