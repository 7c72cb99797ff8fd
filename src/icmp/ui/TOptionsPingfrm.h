#pragma once
// "Ping Options": the "Ping" settings of "varnelo.ini". Loaded when the
// dialog is made; "&OK" writes every key and closes, "&Cancel" just closes.
#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace vn::icmp {

class TOptionsPingfrm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsPingfrm(QWidget* parent = nullptr);

    QSpinBox* ttl() const { return ttl_; }
    QSpinBox* timeout() const { return timeout_; }
    QSpinBox* interval() const { return interval_; }
    QCheckBox* doOnly() const { return doOnly_; }
    QSpinBox* only() const { return only_; }
    QCheckBox* doLast() const { return doLast_; }
    QSpinBox* last() const { return last_; }
    QCheckBox* disableThinking() const { return thinking_; }

public slots:
    void OKClick();

private:
    QSpinBox* ttl_;
    QSpinBox* timeout_;
    QSpinBox* interval_;
    QCheckBox* doOnly_;
    QSpinBox* only_;
    QCheckBox* doLast_;
    QSpinBox* last_;
    QCheckBox* thinking_;
};

} // namespace vn::icmp
