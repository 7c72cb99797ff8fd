#include "common/ui/ThinkingIndicator.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace vn {
namespace {

constexpr int kStep = 2;
constexpr int kMaxWidth = 24;  // a band wider than this drags its other end along
constexpr int kSpan = 25;

const char* kIdleTip = "I am not thinking...";
const char* kBusyTip = "I am thinking...";

int clampTrack(int v) { return std::clamp(v, 0, ThinkingIndicator::kMax); }

} // namespace

ThinkingIndicator::ThinkingIndicator(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    setAccessibleName(QStringLiteral("Thinking indicator"));
    setToolTip(QString::fromLatin1(kIdleTip));
    setAccessibleDescription(toolTip());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    timer_->setInterval(kFirstIntervalMs);
    connect(timer_, &QTimer::timeout, this, &ThinkingIndicator::tick);
    timer_->start();
}

void ThinkingIndicator::setBusy(bool busy) { busy_ = busy; }

void ThinkingIndicator::setIntervals(int busyMs, int idleMs) {
    busyMs_ = std::max(1, busyMs);
    idleMs_ = std::max(1, idleMs);
}

void ThinkingIndicator::setThinkingDisabled(bool disabled) {
    const bool was = disabled_;
    disabled_ = disabled;
    if (disabled) {
        timer_->stop();
        hide();
        return;
    }
    if (was) show();
    if (!timer_->isActive()) timer_->start();
}

int ThinkingIndicator::selStart() const { return clampTrack(start_); }
int ThinkingIndicator::selEnd() const { return clampTrack(end_); }
int ThinkingIndicator::interval() const { return timer_->interval(); }
bool ThinkingIndicator::running() const { return timer_->isActive(); }

void ThinkingIndicator::tick() {
    const QString tip = QString::fromLatin1(busy_ ? kBusyTip : kIdleTip);
    if (toolTip() != tip) {
        setToolTip(tip);
        setAccessibleDescription(tip);
    }
    if (!busy_) {
        start_ = end_ = 0;
        timer_->setInterval(idleMs_);
        update();
        return;
    }
    timer_->setInterval(busyMs_);
    if (forward_) {
        end_ += kStep;
        if (end_ - start_ > kMaxWidth) start_ = end_ - kSpan;
        if (selStart() == kMax && selEnd() == kMax) forward_ = false;
    } else {
        start_ -= kStep;
        if (end_ - start_ > kMaxWidth) end_ = start_ + kSpan;
        if (selStart() == 0 && selEnd() == 0) forward_ = true;
    }
    update();
}

QSize ThinkingIndicator::sizeHint() const { return QSize(120, 14); }
QSize ThinkingIndicator::minimumSizeHint() const { return QSize(40, 10); }

void ThinkingIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect groove = rect().adjusted(1, 2, -2, -3);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRect(groove);
    const int a = selStart();
    const int b = selEnd();
    if (b <= a) return;
    const QRect inner = groove.adjusted(1, 1, 0, 0);
    const int x0 = inner.left() + inner.width() * a / kMax;
    const int x1 = inner.left() + inner.width() * b / kMax;
    p.fillRect(QRect(x0, inner.top(), std::max(1, x1 - x0), inner.height()),
               palette().color(QPalette::Highlight));
}

} // namespace vn
