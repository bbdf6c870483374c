#pragma once

#include <QByteArray>
#include <QWidget>

class QWebEngineView;

namespace kestrow {

// An HTML pane of the category views: the page is served from memory through the "kestrow:"
// scheme (no size limit, no page file on disk), with JavaScript off, every other scheme but
// "data:" blocked, no context menu and no keys.
class THtmlPane : public QWidget {
    Q_OBJECT
public:
    explicit THtmlPane(QWidget* parent = nullptr);
    ~THtmlPane() override;

    // Shows a page (UTF-8 bytes). Loading is asynchronous; PageLoaded follows.
    void ShowHtml(const std::string& page);
    const QByteArray& PageText() const { return FPage; }
    QWebEngineView* View() const { return FView; }

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
    QString FId;
    int FSerial = 0;
};

} // namespace kestrow
