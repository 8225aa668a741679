// The program's icon (resource 128) in the sizes it is drawn at.
#pragma once

#include <QIcon>

QIcon AppIcon();

// Registers the compiled-in resources (skin, icon) of the program's static library; idempotent.
void InitAppResources();
