#pragma once

class QAbstractButton;
class QWidget;

// Colours the button's title by its enabled state: yellow when enabled, dark grey when
// disabled. Call it right after every change of the enabled state; the colour is set in every
// palette group and in the button's own style sheet (which this rule owns), so it holds until
// the next call.
void updateButtonTitleColor(QAbstractButton* button);

// The same for every push button under `root`: for screens whose buttons never change their
// enabled state, once when the screen is built.
void updateButtonTitleColors(QWidget* root);
