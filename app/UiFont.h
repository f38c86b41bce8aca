// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The face of the window's own text: menus, tree, panels and dialogs. The system names the faces
// of its user interface, and may name one it has no font for: Wine without Tahoma names
// "MS Shell Dlg", which Qt lists without any style and then draws in the first face it finds,
// here a mathematics face whose lines are so tall that a one-line box shows no text at all.

namespace pelorin {

// Every user-interface face of the system that is missing (or has no style) is drawn in the
// first common face that is there (Segoe UI, Tahoma, Microsoft Sans Serif, DejaVu Sans,
// Liberation Sans, Noto Sans, Arial), and so is the application's font. Nothing changes where
// the faces named are there. Call once, after the application object is made.
void UseReadableUiFont();

}  // namespace pelorin
