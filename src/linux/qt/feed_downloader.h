#pragma once

#include "updates/updates.h"

#include <QNetworkAccessManager>
#include <QUrl>

#include <chrono>
#include <functional>

namespace hb::app {

// Downloads the update feed (http, https or file addresses), bounded in size,
// time and redirects; a redirect is followed only to an https address. Main
// thread only; results arrive on the main thread.
class FeedDownloader {
public:
    static constexpr std::chrono::milliseconds timeLimit{15'000};
    static constexpr int redirectLimit = 5;

    void download(const QUrl& address, std::function<void(FeedDownload)> done);

private:
    QNetworkAccessManager network_;
};

} // namespace hb::app
