#include "ui/views/view_parts.h"

#include <QHelpEvent>
#include <QPainter>
#include <QSettings>
#include <QSplitter>
#include <QToolTip>
#include <QVBoxLayout>
#include <chrono>

#include "platform/date_time.h"
#include "ui/app_info.h"

namespace kestrow {

QSize TElideLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

QSize TElideLabel::sizeHint() const {
    return {0, QLabel::sizeHint().height()};
}

void TElideLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.drawText(area, static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
}

bool TElideLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The whole text when it is cut, else the tooltip set, if any.
        if (fontMetrics().horizontalAdvance(text()) > contentsRect().width()) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
            return true;
        }
    }
    return QLabel::event(event);
}

void RememberSplitter(QSplitter* splitter, const QString& name) {
    const QString key = QStringLiteral("Splitter/") + name;
    const QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    splitter->restoreState(settings.value(key).toByteArray());
    QObject::connect(splitter, &QSplitter::splitterMoved, splitter, [splitter, key] {
        QSettings(TAppInfo::OrganizationName(), TAppInfo::ProductName()).setValue(key, splitter->saveState());
    });
}

QWidget* MakeCaptionBar(const QString& caption, QWidget* parent, QLabel** label) {
    auto* bar = new QWidget(parent);
    bar->setFixedHeight(24);
    bar->setObjectName(QStringLiteral("CaptionBar"));
    bar->setStyleSheet(QStringLiteral("#CaptionBar{background:white;border-bottom:1px solid #E0E0E0}"));
    bar->setAttribute(Qt::WA_StyledBackground);
    auto* text = new TElideLabel(caption, bar);
    text->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(bar);
    layout->setContentsMargins(8, 0, 8, 1);
    layout->addWidget(text);
    if (label != nullptr) {
        *label = text;
    }
    return bar;
}

void StyleSplitter(QSplitter* splitter) {
    splitter->setHandleWidth(2);
    splitter->setStyleSheet(QStringLiteral("QSplitter::handle{background:#E0E0E0}"));
    splitter->setChildrenCollapsible(false);
}

double NowLocalDays() {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return UnixMsToLocalDays(now);
}

} // namespace kestrow
