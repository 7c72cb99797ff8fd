#pragma once
// The start-up splash: modal, borderless, centred, the product picture in a
// lowered bevel. It closes itself when its time is up and takes no input.
#include <QDialog>

namespace vn {

class Tsplashfrm : public QDialog {
    Q_OBJECT
public:
    explicit Tsplashfrm(int delayMs = 3000, QWidget* parent = nullptr);

    // Shows the splash modally until its timer closes it.
    void mostrar_form();

public slots:
    void reject() override;
    void done(int result) override;

signals:
    void shown();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int delayMs_;
    bool timeUp_ = false;
};

} // namespace vn
