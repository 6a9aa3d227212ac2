#include "window/path_field.h"

#include <QPainter>

namespace ov {

PathField::PathField(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void PathField::SetPath(const QString& path) {
    path_ = path;
    setToolTip(path);
    update();
}

QString PathField::ShownText() const {
    return fontMetrics().elidedText(path_, Qt::ElideMiddle, contentsRect().width() - 4);
}

void PathField::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     ShownText());
}

}  // namespace ov
