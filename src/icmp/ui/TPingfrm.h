#pragma once
// "Varnelo FTP - Ping": one echo request per tick to one host, every answer a
// row, with running statistics (average, lost, total, the OK/lost gauge).
#include "icmp/PingSession.h"
#include "icmp/ui/EchoWindow.h"

class QLabel;
class QProgressBar;

namespace vn::icmp {

class TPingfrm : public EchoWindow {
    Q_OBJECT
public:
    explicit TPingfrm(QWidget* parent = nullptr);

    const PingSession& session() const { return session_; }
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
    std::string sessionFailed(const std::string& text) override { return session_.onError(text); }
    bool sessionRunning() const override { return session_.running(); }
    std::uint64_t sessionGeneration() const override { return session_.generation(); }
    void sessionCleared() override { session_.clear(); }
    std::optional<std::string> sessionCopy(const std::vector<std::size_t>& rows) const override {
        return session_.copyText(rows);
    }
    PrintReport sessionReport() const override { return session_.printReport(); }
    std::size_t sessionRowCount() const override { return session_.rows().size(); }

private:
    void applySettings();
    void paintStatistics();

    PingSession session_;
    QProgressBar* gauge_ = nullptr;
    QLabel* average_ = nullptr;
    QLabel* lost_ = nullptr;
    QLabel* total_ = nullptr;
};

} // namespace vn::icmp
