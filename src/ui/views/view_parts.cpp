#include "ui/views/view_parts.h"

#include <QSplitter>
#include <QVBoxLayout>
#include <chrono>

#include "platform/date_time.h"

namespace kestrow {

QWidget* MakeCaptionBar(const QString& caption, QWidget* parent, QLabel** label) {
    auto* bar = new QWidget(parent);
    bar->setFixedHeight(24);
    bar->setObjectName(QStringLiteral("CaptionBar"));
    bar->setStyleSheet(QStringLiteral("#CaptionBar{background:white;border-bottom:1px solid #E0E0E0}"));
    bar->setAttribute(Qt::WA_StyledBackground);
    auto* text = new QLabel(caption, bar);
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
