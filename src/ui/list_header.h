#pragma once

#include <QHeaderView>

namespace kestrow {

// The header of every category list: a white background with a grey line along the bottom and a
// short separator at each column's right edge; the style draws the caption and the sort glyph.
class TListHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TListHeader(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

} // namespace kestrow
