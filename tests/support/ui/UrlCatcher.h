#pragma once
// Catches what a window hands to the desktop (help pages, web and mail links)
// instead of starting a browser: the URLs, in order.
#include <QList>
#include <QObject>
#include <QUrl>

namespace vn::test {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher();
    ~UrlCatcher() override;
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

} // namespace vn::test
