#pragma once

#include <QString>

class QLabel;

// One-line labels that carry a product name: a name too wide for the label shows with its
// middle elided, so both its start and its end (the version after it) stay in view, and the
// whole text shows in the label's tooltip. The label's text() stays whole and plain.
void elideInTheMiddle(QLabel* label);

// The text as the label shows it at its present width: its text, or that text elided in the
// middle when it does not fit.
[[nodiscard]] QString shownText(const QLabel* label);
