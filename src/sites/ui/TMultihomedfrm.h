#pragma once
// "Multihomed Server": the up to five addresses of one FTP site, tried in turn
// when the connect to the one before fails.
#include <QDialog>
#include <QString>

#include <array>

class QLineEdit;

namespace vn {

class TMultihomedfrm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSlots = 5;
    using Addresses = std::array<QString, kSlots>;

    explicit TMultihomedfrm(QWidget* parent = nullptr);

    void setAddresses(const Addresses& addresses);
    // The five fields, without surrounding blanks.
    Addresses addresses() const;
    // The number of the last non-empty field; 1 when all are empty. Empty
    // fields before it stay and count.
    int count() const;
    static int countOf(const Addresses& addresses);

    QLineEdit* field(int index) const { return fields_[static_cast<size_t>(index)]; }

private:
    std::array<QLineEdit*, kSlots> fields_{};
};

} // namespace vn
