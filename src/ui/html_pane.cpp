#include "ui/html_pane.h"

#include <QBuffer>
#include <QChildEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QUuid>
#include <QVBoxLayout>
#include <QWebEngineContextMenuRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <map>

namespace kestrow {

namespace {

const QByteArray kScheme = QByteArrayLiteral("kestrow");

// Pages by pane id; each pane keeps only its current page.
struct TPaneEntry {
    QByteArray Page;
    const THtmlPane* Pane = nullptr;
};
std::map<QString, TPaneEntry>& Pages() {
    static std::map<QString, TPaneEntry> pages;
    return pages;
}

class TPageSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString id = job->requestUrl().host();
        const auto found = Pages().find(id);
        if (found == Pages().end()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        // "/<serial>" is the page; any deeper path one of its resources, which its pane serves.
        const QString path = job->requestUrl().path();
        if (path.lastIndexOf(QLatin1Char('/')) == 0) {
            Reply(job, QByteArrayLiteral("text/html;charset=utf-8"), found->second.Page);
            return;
        }
        found->second.Pane->Serve(path.mid(1),
                                  [job = QPointer(job)](const QByteArray& mime, const QByteArray& bytes) {
                                      if (job.isNull()) {
                                          return; // the page has gone
                                      }
                                      if (mime.isEmpty()) {
                                          job->fail(QWebEngineUrlRequestJob::UrlNotFound);
                                      } else {
                                          Reply(job, mime, bytes);
                                      }
                                  });
    }

private:
    static void Reply(QWebEngineUrlRequestJob* job, const QByteArray& mime, const QByteArray& bytes) {
        auto* buffer = new QBuffer(job);
        buffer->setData(bytes);
        buffer->open(QIODevice::ReadOnly);
        job->reply(mime, buffer);
    }
};

// Pages come from the backup: nothing they name may be fetched from anywhere but the page itself.
class TLocalOnlyInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != QLatin1String(kScheme) && scheme != QLatin1String("data")) {
            info.block(true);
        }
    }
};

QWebEngineProfile* PaneProfile() {
    static QWebEngineProfile* profile = [] {
        auto* made = new QWebEngineProfile(); // off the record: nothing of a page is stored
        made->installUrlSchemeHandler(kScheme, new TPageSchemeHandler(made));
        made->setUrlRequestInterceptor(new TLocalOnlyInterceptor(made));
        made->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        made->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        made->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        made->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, true);
        return made;
    }();
    return profile;
}

} // namespace

void THtmlPane::RegisterScheme() {
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

THtmlPane::THtmlPane(QWidget* parent) : QWidget(parent) {
    FId = QUuid::createUuid().toString(QUuid::Id128);
    FView = new QWebEngineView(this);
    auto* page = new QWebEnginePage(PaneProfile(), FView);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    FView->setPage(page);
    FView->setContextMenuPolicy(Qt::NoContextMenu);
    connect(FView, &QWebEngineView::loadFinished, this, [this](bool ok) {
        WatchInput(FView->focusProxy());
        emit PageLoaded(ok);
    });
    WatchInput(FView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FView);
}

THtmlPane::~THtmlPane() {
    Pages().erase(FId);
}

void THtmlPane::ShowHtml(const std::string& page) {
    FPage = QByteArray(page.data(), static_cast<qsizetype>(page.size()));
    Pages()[FId] = {FPage, this};
    // A new address per page, so the engine never shows a cached one.
    FView->setUrl(QUrl(QStringLiteral("kestrow://%1/%2").arg(FId).arg(++FSerial)));
}

void THtmlPane::SetResourceSource(std::function<void(const QString& address, TAnswer answer)> serve) {
    FServe = std::move(serve);
}

void THtmlPane::Serve(const QString& address, TAnswer answer) const {
    if (FServe) {
        FServe(address, std::move(answer));
    } else {
        answer({}, {});
    }
}

void THtmlPane::SetLinkMenu(std::function<void(const QString& fragment, const QPoint& globalPos)> onLink) {
    FOnLink = std::move(onLink);
    FView->setContextMenuPolicy(FOnLink ? Qt::CustomContextMenu : Qt::NoContextMenu);
    disconnect(FView, &QWidget::customContextMenuRequested, this, nullptr);
    if (FOnLink) {
        // The engine has hit-tested the click by now: the request names the link under it.
        connect(FView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
            const QWebEngineContextMenuRequest* request = FView->lastContextMenuRequest();
            if (request != nullptr && request->linkUrl().isValid() && request->linkUrl().hasFragment()) {
                FOnLink(request->linkUrl().fragment(), FView->mapToGlobal(pos));
            }
        });
    }
}

void THtmlPane::FocusNeighbour(bool forward) {
    for (QWidget* w = forward ? nextInFocusChain() : previousInFocusChain(); w != nullptr && w != this;
         w = forward ? w->nextInFocusChain() : w->previousInFocusChain()) {
        if (!isAncestorOf(w) && w->window() == window() && w->isVisible() && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) != 0) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

void THtmlPane::WatchInput(QObject* object) {
    if (object != nullptr) {
        object->removeEventFilter(this);
        object->installEventFilter(this);
    }
}

bool THtmlPane::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded:
        WatchInput(static_cast<QChildEvent*>(event)->child());
        break;
    case QEvent::KeyPress: {
        // The page never sees keys, but Tab still leaves it.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            FocusNeighbour(key == Qt::Key_Tab);
        }
        return true;
    }
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
        return true; // the page never sees keys or a context menu
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The engine makes its context menu request from the press: only a pane with a link menu
        // lets it through.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && !FOnLink) {
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrow
