#pragma once
// The quick dialog of the query windows: a host and, for Finger and Whois, the
// query line. The Daytime and Time windows show it without the query field and
// with their own heading and host label. OK stays off until a host is typed.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vn {

class TQuickFinger : public QDialog {
    Q_OBJECT
public:
    explicit TQuickFinger(QWidget* parent = nullptr);

    void setHeading(const QString& text);
    void setHostLabel(const QString& text);
    void setQueryLabel(const QString& text);
    // Daytime and Time send nothing: no query field.
    void hideQuery();

    void setHost(const QString& host);
    void setQuery(const QString& query);
    QString host() const;  // without surrounding blanks
    QString query() const; // as typed
    QString heading() const;
    QString hostLabel() const;
    bool queryShown() const;

private:
    void refresh();

    QLabel* heading_;
    QLabel* hostLabel_;
    QLabel* queryLabel_;
    QLineEdit* hostEdit_;
    QLineEdit* queryEdit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// The Whois form of the dialog: the query is the whole command line.
class Tquickwhois : public TQuickFinger {
    Q_OBJECT
public:
    explicit Tquickwhois(QWidget* parent = nullptr);
};

} // namespace vn
