#pragma once

#include <QString>
#include <QStringList>

// A window's placement as the settings store sees it: plain values, no widget. The record is
// stored as the comma list "state,left,top,width,height" (state 0 normal, 1 minimised,
// 2 maximised); left to height always describe the normal placement.
struct TWindowPlacement {
    QString ComponentName; // the section when the caller names none
    QString ClassName;     // the ident of the record
    bool Resizable = true; // width and height are restored only for resizable windows
    int State = 0;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    // Left to height hold the normal placement even though the window is minimised or maximised
    // (the toolkit remembers it); without it the stored normal placement is kept.
    bool NormalPlacementKnown = false;
    // The size of the rectangle spanning all screens; zero when unknown (then nothing is clamped).
    int DesktopWidth = 0;
    int DesktopHeight = 0;
};

// The record to store: the stored items padded to five, the state, and the normal placement
// when it is known; items beyond the fifth stay as they were.
QStringList MergePlacementRecord(QStringList stored, const TWindowPlacement& window);

// Applies a stored record from its last item down to the state (width and height only for a
// resizable window; empty or invalid items keep the current value), then clamps to the desktop.
void ApplyPlacementRecord(const QStringList& items, TWindowPlacement& window);

// Keeps the window on the desktop: too wide becomes the desktop's width, too tall becomes
// eight tenths of its height; then left and top are lowered (never raised) to fit.
void ClampToDesktop(TWindowPlacement& window);
