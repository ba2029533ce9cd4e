// System window classes: "EDIT" and "SCROLLBAR".
#include "platform/x11/x11_shared.h"

void x11_register_system_classes(void) {}
