#include "ui/list_header.h"

#include <QPainter>
#include <QStyleOptionHeader>

namespace kestrow {

TListHeader::TListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QSize TListHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(24);
    return size;
}

void TListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) {
        return;
    }
    painter->save();
    painter->fillRect(rect, Qt::white);
    painter->setPen(QColor(0xD3, 0xD3, 0xD3));
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->drawLine(rect.right(), rect.top() + 4, rect.right(), rect.bottom() - 4);
    painter->restore();

    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.text =
        model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
    const QVariant align =
        model() ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole) : QVariant();
    option.textAlignment = align.isValid() ? Qt::Alignment(align.toInt()) : defaultAlignment();
    option.sortIndicator = QStyleOptionHeader::None;
    if (isSortIndicatorShown() && sortIndicatorSection() == logicalIndex) {
        option.sortIndicator = sortIndicatorOrder() == Qt::AscendingOrder ? QStyleOptionHeader::SortDown
                                                                          : QStyleOptionHeader::SortUp;
    }
    // The glyph sits at the right edge; the caption keeps clear of it.
    option.rect.adjust(4, 0, option.sortIndicator != QStyleOptionHeader::None ? -20 : -4, 0);
    style()->drawControl(QStyle::CE_HeaderLabel, &option, painter, this);
    if (option.sortIndicator != QStyleOptionHeader::None) {
        QStyleOptionHeader arrow = option;
        arrow.rect = QRect(rect.right() - 16, rect.top(), 12, rect.height());
        style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
    }
}

} // namespace kestrow
