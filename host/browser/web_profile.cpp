#include "web_profile.h"

#include <QBuffer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "ad_filter.h"

namespace {

// Refused requests are redirected here. Blocking them instead would put
// the engine's error page into every advertising frame.
constexpr char kEmptyScheme[] = "tessaro-empty";

class CAdRequestFilter : public QWebEngineUrlRequestInterceptor {
  public:
    CAdRequestFilter(std::vector<std::string> fragments, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_fragments(std::move(fragments)) {}

    // Called on the engine's network thread; the fragments are never
    // changed after construction.
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QByteArray url = info.requestUrl().toEncoded();
        if (IsAdContent(std::string_view(url.constData(), static_cast<size_t>(url.size())),
                        m_fragments)) {
            info.redirect(QUrl(QString::fromLatin1(kEmptyScheme) + QLatin1Char(':')));
        }
    }

  private:
    const std::vector<std::string> m_fragments;
};

class CEmptyReplyHandler : public QWebEngineUrlSchemeHandler {
  public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        auto* body = new QBuffer(job);
        body->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html"), body);
    }
};

}  // namespace

void RegisterWebSchemes() {
    if (!QWebEngineUrlScheme::schemeByName(kEmptyScheme).name().isEmpty()) {
        return;
    }
    // Any page may load from the scheme: it only ever answers nothing.
    QWebEngineUrlScheme scheme(kEmptyScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QWebEngineProfile* SharedWebProfile(const std::vector<std::string>& adFragments) {
    static QWebEngineProfile* const profile = [&adFragments] {
        RegisterWebSchemes();
        QWebEngineProfile* shared = QWebEngineProfile::defaultProfile();
        shared->setUrlRequestInterceptor(new CAdRequestFilter(adFragments, shared));
        shared->installUrlSchemeHandler(kEmptyScheme, new CEmptyReplyHandler(shared));
        return shared;
    }();
    return profile;
}
