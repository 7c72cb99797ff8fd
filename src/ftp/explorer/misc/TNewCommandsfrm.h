#pragma once
// The custom commands' editor ("New Commands"): a sorted list of the stored
// commands and an edit box. Every change is saved at once; "&Do it !" saves
// and hands the selected command back (chosen()), "E&xit" saves and closes.
#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vn {

class TNewCommandsfrm : public QDialog {
    Q_OBJECT
public:
    // canRun: a session is current, so "&Do it !" can send a command.
    explicit TNewCommandsfrm(bool canRun, QWidget* parent = nullptr);

    // The command chosen with "&Do it !" (bytes); empty when none.
    const std::string& chosen() const { return chosen_; }
    std::vector<std::string> commands() const;

public slots:
    void NewBtnClick();
    void EditBtnClick();
    void OKBtnClick();
    void DeleteBtnClick();
    void DoItBtnClick();
    void ExitBtnClick();

protected:
    void reject() override; // closing the window is E&xit

private:
    void LlegeixComandes();
    void ActualitzaComandes();
    void startEditing(const char* mode);
    void stopEditing();
    void fill(std::vector<std::string> commands, const std::string& select);

    QListWidget* ListBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton *NewBtn = nullptr, *EditBtn = nullptr, *OKBtn = nullptr, *DeleteBtn = nullptr, *DoItBtn = nullptr,
                *ExitBtn = nullptr;
    std::string mode_;
    std::string chosen_;
    bool saved_ = false;
};

} // namespace vn
