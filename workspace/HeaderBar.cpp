#include "workspace/HeaderBar.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QStyle>

namespace {

QIcon HeaderIcon(const QString& resource) {
    if (QFile::exists(resource))
        return QIcon(resource);
    QStyle::StandardPixmap fallback = QStyle::SP_FileDialogDetailedView;
    if (resource.contains(QLatin1String("history")))
        fallback = QStyle::SP_FileDialogContentsView;
    else if (resource.contains(QLatin1String("fields")))
        fallback = QStyle::SP_FileDialogListView;
    else if (resource.contains(QLatin1String("result")))
        fallback = QStyle::SP_FileDialogInfoView;
    return QApplication::style()->standardIcon(fallback);
}

} // namespace

THeaderBar::THeaderBar(const QString& name, const QString& caption, const QString& iconResource,
                       QWidget* parent)
    : QWidget(parent) {
    setObjectName(name);
    m_layout = new QHBoxLayout(this);
    // The caption stands 26 pixels from the left and 4 from the top, right of the icon.
    m_layout->setContentsMargins(4, 0, 2, 0);
    m_layout->setSpacing(6);
    m_icon = new QLabel(this);
    m_icon->setObjectName(name + QStringLiteral("Icon"));
    m_icon->setPixmap(HeaderIcon(iconResource).pixmap(16, 16));
    m_icon->setFixedSize(16, 16);
    m_layout->addWidget(m_icon);
    m_caption = new QLabel(caption, this);
    m_caption->setObjectName(name + QStringLiteral("Label"));
    QPalette palette = m_caption->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    m_caption->setPalette(palette);
    m_layout->addWidget(m_caption);
    m_caption->setVisible(!caption.isEmpty());
}

void THeaderBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, Qt::white);
    gradient.setColorAt(1, GradientEnd());
    painter.fillRect(rect(), gradient);
}
