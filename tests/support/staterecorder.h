#pragma once

#include "agent/contentview.h"

#include <QStringList>

namespace Qolvi_Desktop_Agent::testing {

// Records every state change of an agent, and every alert raised, as "field=value" in order.
class StateRecorder : public QObject {
public:
    explicit StateRecorder(ContentView &view)
        : m_view(view) {
        connect(&view, &ContentView::isLoadingChanged, this,
                [this] { changes << QStringLiteral("isLoading=%1").arg(m_view.isLoading()); });
        connect(&view, &ContentView::isConnectedChanged, this,
                [this] { changes << QStringLiteral("isConnected=%1").arg(m_view.isConnected()); });
        connect(&view, &ContentView::messageChanged, this, [this] { changes << "Message"; });
        connect(&view, &ContentView::validationErrorsChanged, this,
                [this] { changes << "ValidationErrors"; });
        connect(view.alertManager(), &AlertManager::isVisibleChanged, this, [this] {
            if (m_view.alertManager()->isVisible()) {
                changes << "alert=" + m_view.alertManager()->messageText();
            }
        });
    }

    QStringList changes;

private:
    ContentView &m_view;
};

} // namespace Qolvi_Desktop_Agent::testing
