#pragma once
// Edits one name in place, in the tree or the file list. The view never
// writes the text itself: the window decides what a committed name does. An
// edit closed without a commit (Escape) is a cancel. Both arrive after the
// editor has gone, so the handlers may refill the model.
#include <QLineEdit>
#include <QMetaObject>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <functional>

namespace vn {

class NameDelegate : public QStyledItemDelegate {
public:
    std::function<void(const QPersistentModelIndex&, const QString&)> committed;
    std::function<void(const QPersistentModelIndex&)> cancelled;

    explicit NameDelegate(QObject* parent) : QStyledItemDelegate(parent) {
        connect(this, &QAbstractItemDelegate::closeEditor, this, [this] {
            if (done_) return;
            done_ = true;
            QPersistentModelIndex index = editing_;
            QMetaObject::invokeMethod(
                this, [this, index] { if (cancelled) cancelled(index); }, Qt::QueuedConnection);
        });
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        editing_ = index;
        done_ = false;
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setObjectName(QStringLiteral("NameEditor"));
        return editor;
    }
    // An editor is open and has not ended yet.
    bool editing() const { return !done_; }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        if (done_) return;
        done_ = true;
        auto* line = qobject_cast<QLineEdit*>(editor);
        QString text = line ? line->text() : QString();
        QPersistentModelIndex at(index);
        auto* self = const_cast<NameDelegate*>(this);
        QMetaObject::invokeMethod(
            self, [self, at, text] { if (self->committed) self->committed(at, text); }, Qt::QueuedConnection);
    }

private:
    mutable QPersistentModelIndex editing_;
    mutable bool done_ = true;
};

} // namespace vn
