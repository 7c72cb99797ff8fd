#pragma once
// "Varnelo FTP - Traceroute": echo requests with a time to live of 1, 2, 3,
// ... one per second, each answer a row, until the target answers, a hop
// says it is unreachable, or the TTL limit (the TTL box) is reached. A row's
// reverse name is looked up on demand ("Get Host Name").
#include "icmp/TraceSession.h"
#include "icmp/ui/EchoWindow.h"

namespace vn {
class OperationRunner;
}

namespace vn::icmp {

class TTraceroutefrm : public EchoWindowOver<TraceSession> {
    Q_OBJECT
public:
    explicit TTraceroutefrm(QWidget* parent = nullptr);


    // "Get Host Name (&DNS resolution)" on the selected row.
    void resolveSelected();
    // The "Disable "Thinking" Indicator" entry.
    void switchThinking();
    // Names the "Get Host Name" command could not find end in this box text.
    static QString noNameText(const QString& address);

protected:
    bool beginSession(const std::string& host, Start from) override;
    std::optional<int> takeResult(const ExchangeResult& ex) override;
    void endSession() override;
    void commandsUpdated(bool busy) override;

private:
    OperationRunner* names_ = nullptr;  // reverse look-ups, beside a running trace
    bool dnsAllowed_ = false;           // off at every start, on again when a row is chosen
};

} // namespace vn::icmp
