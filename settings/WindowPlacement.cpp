#include "settings/WindowPlacement.h"

#include "settings/IniFileEx.h"

namespace {

constexpr int RecordItems = 5;

} // namespace

QStringList MergePlacementRecord(QStringList stored, const TWindowPlacement& window) {
    while (stored.size() < RecordItems)
        stored.append(QString());
    stored[0] = QString::number(window.State);
    if (window.State == 0 || window.NormalPlacementKnown) {
        stored[1] = QString::number(window.Left);
        stored[2] = QString::number(window.Top);
        stored[3] = QString::number(window.Width);
        stored[4] = QString::number(window.Height);
    }
    return stored;
}

void ApplyPlacementRecord(const QStringList& items, TWindowPlacement& window) {
    int* const fields[RecordItems] = {&window.State, &window.Left, &window.Top, &window.Width,
                                      &window.Height};
    // From the last item down, so the state comes last: the normal placement is in place
    // before the window is maximised.
    for (qsizetype p = items.size() - 1; p >= 0; --p) {
        if (p >= RecordItems || (p >= 3 && !window.Resizable))
            continue;
        const std::optional<int> value = ParseDecimalInt(items.at(p));
        if (!value || (p == 0 && (*value < 0 || *value > 2)))
            continue;
        *fields[p] = *value;
    }
    ClampToDesktop(window);
}

void ClampToDesktop(TWindowPlacement& window) {
    const int w = window.DesktopWidth, h = window.DesktopHeight;
    if (w <= 0 || h <= 0)
        return;
    if (window.Width > w)
        window.Width = w;
    if (window.Height > h)
        window.Height = h / 10 * 8;
    if (qint64(window.Left) + window.Width > w)
        window.Left = w - window.Width;
    if (qint64(window.Top) + window.Height > h)
        window.Top = h - window.Height;
}
