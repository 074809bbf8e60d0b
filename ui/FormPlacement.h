#pragma once

#include <QString>

class QWidget;
class TIniFileEx;

// Window placement on the settings store for real windows. The section defaults to the
// window's objectName, the ident to its class name ("TFrmMain" for the main window).
// GUI thread only.

// Applies the stored record: first the normal placement, then the state, so a window stored
// maximised opens maximised and returns to its stored normal place when restored. Errors of
// reading the record propagate.
void RestoreFormPlacement(TIniFileEx& store, const QString& section, QWidget* window,
                          const QString& className = QString());

// Stores state and normal placement (kept from the stored record when the toolkit does not
// know it); never reports an error.
void SaveFormPlacement(TIniFileEx& store, const QString& section, QWidget* window,
                       const QString& className = QString());
