#pragma once
// The Thinking indicator of the tool windows: a band on a 0..50 track that
// sweeps back and forth while the window is busy and is empty while it is idle.
#include <QWidget>

class QTimer;

namespace vn {

class ThinkingIndicator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMax = 50;
    static constexpr int kFirstIntervalMs = 1000;

    explicit ThinkingIndicator(QWidget* parent = nullptr);

    void setBusy(bool busy);
    bool busy() const { return busy_; }

    // Tick intervals while busy and while idle (the first tick always comes after kFirstIntervalMs).
    void setIntervals(int busyMs, int idleMs);
    // Switched off: the timer stops and the widget hides; switched on again it restarts.
    void setThinkingDisabled(bool disabled);
    bool thinkingDisabled() const { return disabled_; }

    int selStart() const;
    int selEnd() const;
    bool forward() const { return forward_; }
    int interval() const;
    bool running() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void tick();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer_;
    bool busy_ = false;
    bool disabled_ = false;
    bool forward_ = true;
    int busyMs_ = 100;
    int idleMs_ = 300;
    // The band's ends as if the track went on past both edges; what shows is
    // clamped to 0..kMax. This lets the band slide out of an edge completely
    // before it turns, instead of stopping half-way at the edge.
    int start_ = 0;
    int end_ = 0;
};

} // namespace vn
