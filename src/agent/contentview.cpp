#include "contentview.h"

#include "service/textualform.h"

#include <QDesktopServices>
#include <QUrl>

namespace Qolvi_Desktop_Agent {

namespace {

const QString initDesktopPath = QStringLiteral("exam/InitDesktop");
const QString checkApplicationPath = QStringLiteral("exam/CheckApplication");
// Shown when a refusal carries no message of the service's own.
const char *const keyNotAcceptedText =
    QT_TRANSLATE_NOOP("Qolvi_Desktop_Agent::ContentView", "The exam key was not accepted.");
const char *const connectionEndedText =
    QT_TRANSLATE_NOOP("Qolvi_Desktop_Agent::ContentView", "The exam service ended the connection.");
const char *const blindText = QT_TRANSLATE_NOOP(
    "Qolvi_Desktop_Agent::ContentView",
    "This computer's applications cannot be seen from here. Run the agent outside any container "
    "or sandbox.");
const char *const changeableText = QT_TRANSLATE_NOOP(
    "Qolvi_Desktop_Agent::ContentView",
    "This agent was started in a way that lets another program change what it reports. Start it "
    "again from your applications menu.");

} // namespace

ContentView::ContentView(QObject *parent)
    : ContentView(AgentConfig::product(), parent) {}

ContentView::ContentView(AgentConfig config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_sender(m_config.baseApiURL, m_config.writeLine)
    , m_appearance(&SystemAppearance::shared())
    , m_alertManager(&AlertManager::shared())
    , m_USession(new ServiceSession(m_config.limits, m_config.trust, this)) {
    m_USession->askProxyAhead(QUrl(m_config.baseApiURL));
    connect(m_appearance, &SystemAppearance::colorSchemeChanged, this,
            &ContentView::colorSchemeChanged);
}

void ContentView::setExamKey(const QString &examKey) {
    if (examKey == m_examKey) {
        return;
    }
    m_examKey = examKey;
    emit examKeyChanged();
}

void ContentView::submitExamKey() {
    // An agent that cannot see the session would report an empty list as if the computer ran
    // nothing. This comes before the empty key: no key typed here can help, and the candidate
    // should move to another agent before spending time on this one.
    if (!seesUserSession()) {
        m_alertManager->showAlert(tr(blindText), AlertType::danger);
        return;
    }
    // What another program changed in this process would go out as the agent's own findings.
    m_USession->loadTls();
    if (!vouchesForOwnProcess()) {
        m_alertManager->showAlert(tr(changeableText), AlertType::danger);
        return;
    }
    InitAgent body{m_examKey.toStdString(), currentApplicationIds()};
    // The scan heard the window sources, which may name the owner of the agent's own window only
    // now.
    if (!seesUserSession()) {
        m_alertManager->showAlert(tr(blindText), AlertType::danger);
        return;
    }
    initAgent(body);
}

void ContentView::initAgent(const InitAgent &body) {
    ++m_submissionsInFlight;
    refreshLoading();
    if (body.AccessKey.empty()) {
        m_alertManager->showAlert(tr("Please enter the exam key."), AlertType::danger);
        --m_submissionsInFlight;
        refreshLoading();
        return;
    }
    m_USession->send(sendRequest(initDesktopPath, body), this,
                     [this](const ExchangeResult &result) { finishSubmission(result); });
}

void ContentView::finishSubmission(const ExchangeResult &result) {
    const ExchangeOutcome outcome = classifyExchange(result);
    if (const auto line = consoleLine(outcome, u"initAgent")) {
        m_config.writeLine(*line);
    }
    switch (outcome.kind) {
    case ExchangeOutcome::Kind::networkFailure:
    case ExchangeOutcome::Kind::otherStatus:
        setConnected(false);
        break;
    case ExchangeOutcome::Kind::accepted:
        ++m_connection;
        m_currentReportsInFlight = 0;
        setConnected(true);
        keepResponse(outcome.response);
        break;
    case ExchangeOutcome::Kind::refused:
        showRefusal(outcome, tr(keyNotAcceptedText));
        setConnected(false);
        keepResponse(outcome.response);
        break;
    case ExchangeOutcome::Kind::notHttp:
    case ExchangeOutcome::Kind::undecodable:
        break;
    }
    --m_submissionsInFlight;
    refreshLoading();
}

void ContentView::startReportTimer() {
    if (m_timer) {
        return;
    }
    m_timer = new QTimer(this);
    // A coarse timer fires up to 5 % early or late; the reports go out every 3.0 s.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(m_config.reportInterval);
    connect(m_timer, &QTimer::timeout, this, &ContentView::reportTick);
    m_timer->start();
    emit timerChanged();
}

void ContentView::reportTick() {
    if (!m_isConnected) {
        return;
    }
    // The service sees the reports stop, as when the agent is closed; reports on their way
    // belong to the connection ended here and change nothing when they are answered.
    const bool sees = seesUserSession();
    if (!sees || !vouchesForOwnProcess()) {
        ++m_connection;
        m_currentReportsInFlight = 0;
        refreshLoading();
        setConnected(false);
        m_alertManager->showAlert(tr(sees ? changeableText : blindText), AlertType::danger);
        return;
    }
    const CheckAgent body{m_examKey.toStdString(), currentApplicationIds()};
    m_config.writeLine(QStringLiteral("Sending: ") + QString::fromStdString(textualForm(body)));
    checkAgent(body);
}

void ContentView::checkAgent(const CheckAgent &body) {
    const quint64 connection = m_connection;
    ++m_currentReportsInFlight;
    refreshLoading();
    m_USession->send(
        sendRequest(checkApplicationPath, body), this,
        [this, connection](const ExchangeResult &result) { finishReport(result, connection); });
}

void ContentView::finishReport(const ExchangeResult &result, quint64 connection) {
    const ExchangeOutcome outcome = classifyExchange(result);
    if (const auto line = consoleLine(outcome, u"checkAgent")) {
        m_config.writeLine(*line);
    }
    // A report of a connection that a newer accepted key replaced only leaves its line.
    if (connection != m_connection) {
        return;
    }
    switch (outcome.kind) {
    case ExchangeOutcome::Kind::networkFailure:
    case ExchangeOutcome::Kind::otherStatus:
        setConnected(false);
        break;
    case ExchangeOutcome::Kind::accepted:
        keepResponse(outcome.response);
        break;
    case ExchangeOutcome::Kind::refused:
        showRefusal(outcome, tr(connectionEndedText));
        setConnected(false);
        keepResponse(outcome.response);
        break;
    case ExchangeOutcome::Kind::notHttp:
    case ExchangeOutcome::Kind::undecodable:
        break;
    }
    --m_currentReportsInFlight;
    refreshLoading();
}

void ContentView::beginExam() {
    openLink(m_config.examSiteURL);
}

void ContentView::openLink(const QString &text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.isRelative()) {
        return;
    }
    QDesktopServices::openUrl(url);
}

void ContentView::showRefusal(const ExchangeOutcome &outcome, const QString &fallback) {
    // The service may refuse without saying why, or with nothing but white space; the
    // candidate still needs to read something.
    const auto &message = outcome.response.Message;
    const QString text = message ? QString::fromStdString(*message) : QString();
    m_alertManager->showAlert(text.trimmed().isEmpty() ? fallback : text, AlertType::danger);
}

void ContentView::keepResponse(const ServiceResponse &response) {
    m_Message =
        response.Message ? std::optional(QString::fromStdString(*response.Message)) : std::nullopt;
    emit messageChanged();
    m_ValidationErrors = response.ValidationErrors;
    emit validationErrorsChanged();
}

void ContentView::setConnected(bool connected) {
    if (connected == m_isConnected) {
        return;
    }
    m_isConnected = connected;
    emit isConnectedChanged();
    refreshSubmittingKey();
}

void ContentView::refreshLoading() {
    // Only exchanges that can still change what the screen shows keep it busy: a submission,
    // or a report of the connection that is open now.
    const bool loading =
        m_submissionsInFlight > 0 || (m_isConnected && m_currentReportsInFlight > 0);
    if (loading == m_isLoading) {
        return;
    }
    m_isLoading = loading;
    emit isLoadingChanged();
    refreshSubmittingKey();
}

void ContentView::refreshSubmittingKey() {
    const bool submitting = m_isLoading && !m_isConnected;
    if (submitting != m_isSubmittingKey) {
        m_isSubmittingKey = submitting;
        emit isSubmittingKeyChanged();
    }
}

bool ContentView::seesUserSession() const {
    return !m_config.seesUserSession || m_config.seesUserSession();
}

bool ContentView::vouchesForOwnProcess() const {
    return !m_config.vouchesForOwnProcess || m_config.vouchesForOwnProcess();
}

std::vector<std::string> ContentView::currentApplicationIds() {
    std::vector<std::string> ids;
    if (!m_config.runningApplicationIds) {
        return ids;
    }
    const QStringList applications = m_config.runningApplicationIds();
    ids.reserve(std::size_t(applications.size()));
    for (const QString &id : applications) {
        ids.push_back(id.toStdString());
    }
    if (!m_needsNewLogin && m_config.windowsNeedNewLogin && m_config.windowsNeedNewLogin()) {
        m_needsNewLogin = true;
        emit needsNewLoginChanged();
    }
    return ids;
}

} // namespace Qolvi_Desktop_Agent
