#include "common/ui/Gauges.h"

#include <QProgressBar>

#include <algorithm>

namespace vn {

Gauges::Gauges(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PanelGauge"));
    total_ = new QProgressBar(this);
    total_->setObjectName(QStringLiteral("TotalGauge"));
    total_->setAccessibleName(QStringLiteral("Total progress"));
    file_ = new QProgressBar(this);
    file_->setObjectName(QStringLiteral("FileGauge"));
    file_->setAccessibleName(QStringLiteral("File progress"));
    for (QProgressBar* g : {total_, file_}) {
        g->setRange(0, kScale);
        g->setValue(0);
        g->setTextVisible(false);
        g->hide();
    }
    setFixedHeight(std::max(total_->sizeHint().height(), 12));
    hide();
}

int Gauges::scaled(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    if (done >= total) return kScale;
    return static_cast<int>(static_cast<long double>(done) * kScale / static_cast<long double>(total));
}

namespace {
QString ofText(std::uint64_t done, std::uint64_t total) {
    return QStringLiteral("%1 of %2").arg(static_cast<qulonglong>(done)).arg(static_cast<qulonglong>(total));
}
} // namespace

void Gauges::showGauge(QProgressBar* g) {
    if (g->isVisible() && isVisible()) return;
    show();
    g->show();
    place();
}

void Gauges::setTotal(std::uint64_t done, std::uint64_t total) {
    totalMax_ = total;
    totalDone_ = done;
    showGauge(total_);
    total_->setValue(scaled(done, total));
    total_->setToolTip(ofText(done, total));
}

void Gauges::setFile(std::uint64_t done, std::uint64_t total) {
    fileMax_ = total;
    fileDone_ = done;
    showGauge(file_);
    file_->setValue(scaled(done, total));
    file_->setToolTip(ofText(done, total));
}

void Gauges::hideAll() {
    total_->hide();
    file_->hide();
    hide();
}

void Gauges::setDivider(int x, int gap) {
    divider_ = x;
    gap_ = gap;
    place();
}

void Gauges::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void Gauges::place() {
    const int left = divider_ >= 0 ? divider_ : width() / 2;
    const int right = divider_ >= 0 ? left + gap_ : left;
    const int h = height();
    total_->setGeometry(0, 0, std::max(0, left), h);
    file_->setGeometry(right + 1, 0, std::max(0, width() - 2 - (right + 1)), h);
}

} // namespace vn
