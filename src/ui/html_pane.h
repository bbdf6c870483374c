#pragma once

#include <QByteArray>
#include <QWidget>
#include <functional>

class QWebEngineView;

namespace kestrow {

// An HTML pane of the category views: the page is served from memory through the "kestrow:"
// scheme (no size limit, no page file on disk), with JavaScript off, every other scheme but
// "data:" blocked, no keys, and no context menu but the owner's on links.
class THtmlPane : public QWidget {
    Q_OBJECT
public:
    explicit THtmlPane(QWidget* parent = nullptr);
    ~THtmlPane() override;

    // Shows a page (UTF-8 bytes). Loading is asynchronous; PageLoaded follows.
    void ShowHtml(const std::string& page);
    const QByteArray& PageText() const { return FPage; }
    QWebEngineView* View() const { return FView; }
    // A right click on a link of the page calls `onLink` with the link's fragment and the
    // click's place on screen (the pane's own menu). Without it the page has no context menu.
    void SetLinkMenu(std::function<void(const QString& fragment, const QPoint& globalPos)> onLink);

    // Answers one request for a resource of the page: its MIME type and bytes, or an empty type
    // when there is none. It may be called later, on the GUI thread, or never (the request stays
    // open until the page goes).
    using TAnswer = std::function<void(const QByteArray& mime, const QByteArray& bytes)>;
    // Serves the resources the page names by relative addresses ("part/1-23"): `serve` gets the
    // address and answers it. Without it the page's own text is all the pane serves.
    void SetResourceSource(std::function<void(const QString& address, TAnswer answer)> serve);
    void Serve(const QString& address, TAnswer answer) const;

    // Registers the scheme; must run before QApplication is created.
    static void RegisterScheme();

signals:
    void PageLoaded(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchInput(QObject* object);
    void FocusNeighbour(bool forward);

    QWebEngineView* FView = nullptr;
    QByteArray FPage;
    std::function<void(const QString&, const QPoint&)> FOnLink;
    std::function<void(const QString&, TAnswer)> FServe;
    QString FId;
    int FSerial = 0;
};

} // namespace kestrow
