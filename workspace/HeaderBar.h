#pragma once

#include <QWidget>
#include <algorithm>

class QHBoxLayout;
class QLabel;

// How much larger the widget's font is than the design's (13 pixels a line), at least 1:
// the design's pixel sizes are multiplied by it, so nothing is cut off with a larger font.
inline double FontScale(const QWidget* widget) {
    return std::max(1.0, widget->fontMetrics().height() / 13.0);
}

// The header bar above a pane of the workspace: a vertical gradient from white to the
// frame's grey, a small icon and a caption, and room at the right for tools. GUI thread.
class THeaderBar : public QWidget {
    Q_OBJECT
public:
    // `iconResource` is one of the program's header icons (":/icons/hdr-tables.svg"); when
    // the resource is not linked in (tests), a standard icon stands in.
    THeaderBar(const QString& name, const QString& caption, const QString& iconResource, QWidget* parent);

    QLabel* Caption() const { return m_caption; }
    QLabel* Icon() const { return m_icon; }
    // Tools are laid out from the caption rightwards; AddStretch pushes the rest to the edge.
    QHBoxLayout* Tools() const { return m_layout; }

    static QColor GradientEnd() { return QColor(189, 183, 172); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* m_layout;
    QLabel* m_icon;
    QLabel* m_caption;
};
