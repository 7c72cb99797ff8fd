#pragma once
// "Varnelo FTP - Ping": one echo request per tick to one host, every answer a
// row, with running statistics (average, lost, total, the OK/lost gauge).
#include "icmp/PingSession.h"
#include "icmp/ui/EchoWindow.h"

class QLabel;
class QProgressBar;

namespace vn::icmp {

class TPingfrm : public EchoWindowOver<PingSession> {
    Q_OBJECT
public:
    explicit TPingfrm(QWidget* parent = nullptr);

    QProgressBar* totalGauge() const { return gauge_; }
    QLabel* averageLabel() const { return average_; }
    QLabel* lostLabel() const { return lost_; }
    QLabel* totalLabel() const { return total_; }

    // "&Options": the options window, then the settings are read again.
    void showOptions();

protected:
    bool beginSession(const std::string& host, Start from) override;
    std::optional<int> takeResult(const ExchangeResult& ex) override;
    void endSession() override;

private:
    void applySettings();
    void paintStatistics();

    QProgressBar* gauge_ = nullptr;
    QLabel* average_ = nullptr;
    QLabel* lost_ = nullptr;
    QLabel* total_ = nullptr;
};

} // namespace vn::icmp
