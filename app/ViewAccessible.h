#pragma once
// What assistive technology is told about the main window's 3D view: a canvas with the
// name and description the window gives it, whose value is the body it shows (the text of
// the name label over it). The window reports a change of that value when it selects
// another body; the view holds the keyboard focus, so a screen reader following the focus
// hears it.

class QString;
class QWidget;

// Makes every main window's view report itself that way; once per program is enough.
void InstallViewAccessible();

// Tells assistive technology that `view` now shows `body`.
void AnnounceShownBody(QWidget* view, const QString& body);
