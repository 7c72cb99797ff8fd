#pragma once
// The Time window: the query window without an output area. It shows the
// server's time in local time with its "(GMT...)" text and the local clock,
// ticking every second, and its synchronise command sets the computer's clock
// from the server through a ClockSetter.
#include "query/ClockSetter.h"
#include "query/ui/TQueryfrm.h"

class QLabel;
class QTimer;

namespace vn {

class TTimefrm : public TQueryfrm {
    Q_OBJECT
public:
    explicit TTimefrm(QWidget* parent = nullptr);
    ~TTimefrm() override;

    // What synchronising sets the clock through (the system's by default;
    // tests give a fake). Only while the window is idle.
    void setClockSetter(ClockSetter* setter);

    void synchronise() override;

    QString serverTimeText() const;
    QString localTimeText() const;

public slots:
    // The one-second clock.
    void SegonsTimer();

protected:
    std::unique_ptr<TQuickFinger> quickDialog(Origin origin) const override;
    void showServerTime(const TimeReading& reading) override;

private:
    // Kept by the base, so it outlives the worker that may be using it.
    ClockSetter* systemClock_ = nullptr;
    QLabel* server_ = nullptr;
    QLabel* local_ = nullptr;
    QTimer* clock_ = nullptr;
};

} // namespace vn
