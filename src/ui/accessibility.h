// What screen readers see of the window: the front panel's click areas as
// buttons with a name and a press action, and only the controls an operator
// can see. The strips cut to one pixel, controls beyond or below the picture,
// hidden ones and the picture's decorations are left out of the tree, not
// merely marked invisible.
#pragma once

class QWidget;

namespace koravel {

// Installs the window's accessibility factory; once per process, before any
// widget is asked for its accessible interface (idempotent).
void InstallAccessibility();

// Whether child is part of what the operator sees inside its parent: shown,
// at least partly inside the parent's area and more than a pixel in each
// direction, and not a picture without an action.
bool ShownToOperator(const QWidget* child);

} // namespace koravel
