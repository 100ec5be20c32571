#pragma once

#include "agentconfig.h"
#include "alerts/alertmanager.h"
#include "exchangeoutcome.h"
#include "platform/systemappearance.h"
#include "service/agentrecords.h"
#include "service/requestsender.h"
#include "service/servicesession.h"
#include "service/validationerror.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <vector>

namespace Qolvi_Desktop_Agent {

// The agent state of one window and the two exam flows that change it: the key submission and
// the periodic report of the running applications.
class ContentView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString examKey READ examKey WRITE setExamKey NOTIFY examKeyChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    // Loading while not connected: the key is on its way. The screen's key controls follow
    // this alone, so reports in flight while connected touch nothing on screen.
    Q_PROPERTY(bool isSubmittingKey READ isSubmittingKey NOTIFY isSubmittingKeyChanged)
    Q_PROPERTY(Qolvi_Desktop_Agent::AlertManager *alertManager READ alertManager CONSTANT)
    Q_PROPERTY(bool isDarkAppearance READ isDarkAppearance NOTIFY colorSchemeChanged)
    // Set once a scan finds that the desktop shows the agent its windows only after a new
    // login; it stays set, since only a new login, which ends the agent, changes that.
    Q_PROPERTY(bool needsNewLogin READ needsNewLogin NOTIFY needsNewLoginChanged)

public:
    explicit ContentView(QObject *parent = nullptr);
    explicit ContentView(AgentConfig config, QObject *parent = nullptr);

    [[nodiscard]] ColorScheme colorScheme() const { return m_appearance->colorScheme(); }
    [[nodiscard]] bool isDarkAppearance() const { return colorScheme() == ColorScheme::dark; }
    [[nodiscard]] AlertManager *alertManager() const { return m_alertManager; }
    [[nodiscard]] QTimer *timer() const { return m_timer; }
    [[nodiscard]] const QString &examKey() const { return m_examKey; }
    void setExamKey(const QString &examKey);
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    [[nodiscard]] bool isHovered() const { return m_isHovered; }
    [[nodiscard]] bool isConnected() const { return m_isConnected; }
    [[nodiscard]] bool isSubmittingKey() const { return m_isSubmittingKey; }
    [[nodiscard]] bool needsNewLogin() const { return m_needsNewLogin; }
    [[nodiscard]] const QString &Token() const { return m_Token; }
    [[nodiscard]] const QString &baseApiURL() const { return m_sender.baseApiURL(); }
    [[nodiscard]] const QString &examSiteURL() const { return m_config.examSiteURL; }
    [[nodiscard]] const std::vector<ValidationError> &ValidationErrors() const {
        return m_ValidationErrors;
    }
    [[nodiscard]] bool HasError() const { return m_HasError; }
    [[nodiscard]] const std::optional<QString> &Message() const { return m_Message; }
    [[nodiscard]] ServiceSession *USession() const { return m_USession; }

    // The key button: submits the key as typed with the applications running now.
    Q_INVOKABLE void submitExamKey();
    // The screen's first appearance: starts reporting every interval while connected. Once
    // per agent state; later calls add no second timer.
    Q_INVOKABLE void startReportTimer();
    // "BEGIN THE EXAM": opens the exam site in the default browser.
    Q_INVOKABLE void beginExam();

    void initAgent(const InitAgent &body);
    void reportTick();
    void checkAgent(const CheckAgent &body);
    // Opens an absolute URL with the desktop's default handler; anything else is ignored.
    void openLink(const QString &text);

    template <typename Record>
    [[nodiscard]] ServiceRequest sendRequest(const QString &path, const Record &body) const {
        return m_sender.sendRequest(path, body);
    }

signals:
    void colorSchemeChanged();
    void examKeyChanged();
    void isLoadingChanged();
    void isConnectedChanged();
    void isSubmittingKeyChanged();
    void needsNewLoginChanged();
    void messageChanged();
    void validationErrorsChanged();
    void timerChanged();

private:
    void finishSubmission(const ExchangeResult &result);
    void finishReport(const ExchangeResult &result, quint64 connection);
    void showRefusal(const ExchangeOutcome &outcome, const QString &fallback);
    void keepResponse(const ServiceResponse &response);
    void setConnected(bool connected);
    void refreshLoading();
    void refreshSubmittingKey();
    [[nodiscard]] bool seesUserSession() const;
    [[nodiscard]] bool vouchesForOwnProcess() const;
    // Scans, and takes note of what the scan found about the windows.
    [[nodiscard]] std::vector<std::string> currentApplicationIds();

    AgentConfig m_config;
    RequestSender m_sender;

    SystemAppearance *m_appearance;
    AlertManager *m_alertManager;
    QPointer<QTimer> m_timer;
    QString m_examKey;
    bool m_isLoading = false;
    bool m_isHovered = false;
    bool m_isConnected = false;
    bool m_isSubmittingKey = false;
    bool m_needsNewLogin = false;
    QString m_Token;
    std::vector<ValidationError> m_ValidationErrors;
    bool m_HasError = false;
    std::optional<QString> m_Message = QString();
    ServiceSession *m_USession;

    // Each accepted key opens a new connection; reports remember the one they were sent for,
    // so a late report of an older connection cannot end a newer one.
    quint64 m_connection = 0;
    int m_submissionsInFlight = 0;
    int m_currentReportsInFlight = 0;
};

} // namespace Qolvi_Desktop_Agent
