#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

class QSplitter;

namespace kestrow {

// A white bar 24 pixels high with a caption and a 1-pixel line (#E0E0E0) at its bottom.
QWidget* MakeCaptionBar(const QString& caption, QWidget* parent, QLabel** label = nullptr);
// A 2-pixel splitter handle colour for the views' splitters.
void StyleSplitter(QSplitter* splitter);
// Local day count of now.
double NowLocalDays();

} // namespace kestrow
