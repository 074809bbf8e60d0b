#include "workspace/StatusBar.h"

#include <QHBoxLayout>
#include <QLabel>

TStatusBar::TStatusBar(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("StatBar"));
    // 19 pixels fit the design's small font; a larger one needs a taller bar.
    setFixedHeight(qMax(19, fontMetrics().height() + 6));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 0);
    layout->setSpacing(2);
    for (int i = 0; i < PanelCount; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("StatBarPanel%1").arg(i));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(2, 0, 2, 0);
        panel->setTextFormat(Qt::PlainText);
        layout->addWidget(panel);
        m_panels[i] = panel;
    }
    layout->addStretch(1);
    const char* texts[PanelCount] = {"--", "Datensätze", "---", "Zeit", "---", ""};
    const int widths[PanelCount] = {20, 70, 50, 50, 50, 50};
    // The fixed labels must stay readable in whatever font stands in for the frame's.
    for (int i = 0; i < PanelCount; ++i) {
        const QString text = QString::fromUtf8(texts[i]);
        SetPanel(i, text, qMax(widths[i], fontMetrics().horizontalAdvance(text) + 10));
    }
}

QString TStatusBar::PanelText(int index) const {
    return m_panels[index]->text();
}

int TStatusBar::PanelWidth(int index) const {
    return m_panels[index]->maximumWidth();
}

void TStatusBar::SetPanel(int index, const QString& text, int width) {
    QLabel* panel = m_panels[index];
    panel->setText(text);
    if (index < PanelCount - 1) {
        panel->setFixedWidth(width);
        return;
    }
    // The last panel holds free text of any length: it takes what room the bar has and is
    // cut at its right end, instead of widening the workspace at the cost of the catalogue
    // pane. The whole text is its tool tip.
    panel->setMinimumWidth(qMin(width, 50));
    panel->setMaximumWidth(width);
    panel->setToolTip(text);
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    SetPanel(index, text, fontMetrics().horizontalAdvance(text) + 10);
}
