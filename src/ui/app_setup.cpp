#include "ui/app_setup.h"

#include <QtGlobal>

#include "ui/html_pane.h"

namespace kestrow {

void PrepareApplication() {
    THtmlPane::RegisterScheme();
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    }
}

} // namespace kestrow
