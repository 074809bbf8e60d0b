#pragma once

#include <QWidget>

class QLabel;

// The workspace's status bar: six sunken panels side by side whose widths the program sets
// (access mode, "Datensätze", count, "Zeit", seconds, object information). GUI thread.
class TStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int PanelCount = 6;

    explicit TStatusBar(QWidget* parent);

    QString PanelText(int index) const;
    int PanelWidth(int index) const;
    void SetPanel(int index, const QString& text, int width);
    // The panel's text, its width fitted to it (text width in the bar's font plus 10).
    void SetPanelText(int index, const QString& text);

private:
    QLabel* m_panels[PanelCount];
};
