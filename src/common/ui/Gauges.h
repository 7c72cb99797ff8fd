#pragma once
// The two gauges of a tool window: the total gauge (steps of an operation) and
// the file gauge (bytes of one transfer). 64-bit counts are shown scaled; the
// tool tip gives the exact "done of total". A gauge shows from its first
// report until hideAll(). By default the total gauge takes the left half; a
// window lines them up with its panes through setDivider().
#include <QWidget>

#include <cstdint>

class QProgressBar;

namespace vn {

class Gauges : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScale = 10000;

    explicit Gauges(QWidget* parent = nullptr);

    void setTotal(std::uint64_t done, std::uint64_t total);
    void setFile(std::uint64_t done, std::uint64_t total);
    // One more step / k more bytes of the current totals.
    void stepTotal() { setTotal(totalDone_ + 1, totalMax_); }
    void addFile(std::uint64_t k) { setFile(fileDone_ + k, fileMax_); }
    void hideAll();

    // The total gauge ends at x; the file gauge starts at x + gap + 1 and
    // ends two pixels short of the right edge. A negative x: halves.
    void setDivider(int x, int gap);

    QProgressBar* total() const { return total_; }
    QProgressBar* file() const { return file_; }
    std::uint64_t totalDone() const { return totalDone_; }
    std::uint64_t totalMax() const { return totalMax_; }
    std::uint64_t fileDone() const { return fileDone_; }
    std::uint64_t fileMax() const { return fileMax_; }

    static int scaled(std::uint64_t done, std::uint64_t total);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    void showGauge(QProgressBar* g);

    QProgressBar* total_;
    QProgressBar* file_;
    int divider_ = -1, gap_ = 0;
    std::uint64_t totalMax_ = 0, totalDone_ = 0, fileMax_ = 0, fileDone_ = 0;
};

} // namespace vn
