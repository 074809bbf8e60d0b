// Connecting a workspace without freezing the window.
#include "workspace/Work.h"

#include "data/Connection.h"
#include "settings/Error.h"
#include "ui/WorkerWait.h"

#include <memory>

// The connection is made on a thread of its own; meanwhile the window repaints and Escape
// gives up the attempt (a silent abort: no tab, nothing written). A server that never answers
// ends with the provider's time-out error after the connection time-out.
void TFrameWork::ConnectWork(const QString& connectionString) {
    const auto session = std::make_shared<std::shared_ptr<TProviderSession>>();
    const int connectTimeout = ConnWork->ConnectionTimeout();
    const int commandTimeout = ConnWork->CommandTimeout();
    // An abandoned attempt finishes unobserved and closes its session on its own thread.
    if (!RunInWorker(
            [session, connectionString, connectTimeout, commandTimeout] {
                *session = TConnection::Connect(connectionString, connectTimeout, commandTimeout);
            },
            true))
        throw TAbort();
    ConnWork->Adopt(connectionString, std::move(*session));
}
