#include "linux/qt/feed_downloader.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace hb::app {

void FeedDownloader::download(const QUrl& address, std::function<void(FeedDownload)> done)
{
    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(redirectLimit);
    request.setTransferTimeout(static_cast<int>(timeLimit.count()));
    QNetworkReply* reply = network_.get(request);
    reply->setReadBufferSize(static_cast<qint64>(maximumAppcastSize) + 1);

    struct State {
        std::function<void(FeedDownload)> done;
        QByteArray body;
        QString problem; // set when this side aborted the transfer
    };
    auto state = std::make_shared<State>(State{std::move(done), {}, {}});

    // A whole-transfer deadline; the transfer timeout only covers silence.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, state] {
        state->problem = "The update server did not answer in time.";
        reply->abort();
    });
    deadline->start(timeLimit);

    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, state](const QUrl& target) {
        if (target.scheme() == QLatin1String("https")) {
            emit reply->redirectAllowed();
            return;
        }
        state->problem = "The update server sent the request on to an address that is not https.";
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state] {
        if (!state->problem.isEmpty())
            return;
        state->body += reply->read(static_cast<qint64>(maximumAppcastSize) + 1 - state->body.size());
        if (state->body.size() > static_cast<qsizetype>(maximumAppcastSize)) {
            state->problem = "The update feed is too large.";
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state] {
        reply->deleteLater();
        FeedDownload result;
        if (!state->problem.isEmpty()) {
            result.error = state->problem.toStdString();
        } else if (reply->error() != QNetworkReply::NoError) {
            result.error = "The update feed could not be downloaded: " + reply->errorString().toStdString();
        } else {
            state->body += reply->read(static_cast<qint64>(maximumAppcastSize) + 1 - state->body.size());
            if (state->body.size() > static_cast<qsizetype>(maximumAppcastSize))
                result.error = "The update feed is too large.";
            else
                result.body = state->body.toStdString();
        }
        state->done(std::move(result));
    });
}

} // namespace hb::app
