#pragma once

#include <QString>

namespace platform {

// Puts the toolkit's own texts (the folder panel's "Look in", "Choose", "Cancel" ...) in the
// language `code` ("ko", "en-GB", ...), from Qt's translation files, and the few those lack
// from the bundle's "Toolkit" table; English when there are none for it. Main thread; the
// texts of a dialog are taken when it is made.
void useToolkitTexts(const QString& code);

}  // namespace platform
