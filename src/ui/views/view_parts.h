#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

class QSplitter;

namespace kestrow {

// A one-line label that never asks for more width than it gets: a longer text is elided at its
// end, and the whole text is its tooltip.
class TElideLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

// Restores a splitter's sizes from the settings (key "Splitter/<name>") and stores them when moved.
void RememberSplitter(QSplitter* splitter, const QString& name);

// A white bar 24 pixels high with a caption and a 1-pixel line (#E0E0E0) at its bottom.
QWidget* MakeCaptionBar(const QString& caption, QWidget* parent, QLabel** label = nullptr);
// A 2-pixel splitter handle colour for the views' splitters.
void StyleSplitter(QSplitter* splitter);
// Local day count of now.
double NowLocalDays();

} // namespace kestrow
