// The File Properties dialog: its lines for each kind of item, and its picture.
#include "ftp/explorer/TFilePropfrm.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/ScriptedPrompter.h"

namespace vn {
namespace {

using Picture = TFilePropfrm::Picture;
using test::ScopedPrompter;

template <typename T>
T* child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(nullptr, c) << name;
    return c;
}

QString text(QWidget& w, const char* name) {
    QLabel* l = child<QLabel>(w, name);
    return l ? l->text() : QStringLiteral("<missing>");
}

struct LinesCase {
    const char* what;
    TFilePropfrm::Values values;
    std::vector<const char*> lines; // name, type, folder, size, modified, attributes
    Picture picture;
};

TEST(TFilePropfrm, LinesForEachKindOfItem) {
    const std::vector<LinesCase> cases = {
        {"local folder",
         {"photos", "Folder", "/home/joan/", "", "12/03/2024 10:15", "_d____w", true, false},
         {"photos", "Type : Folder", "Folder :/home/joan/", "", "Last Modification : 12/03/2024 10:15",
          "Attributes : _d____w"},
         Picture::LocalFolder},
        {"remote file",
         {"report.pdf", ".pdf", "/pub/docs/", "1,048,576", "Mar 12 10:15", "-rw-r--r--", false, true},
         {"report.pdf", "Type : .pdf", "Folder :/pub/docs/", "Size : 1,048,576 Bytes",
          "Last Modification : Mar 12 10:15", "Attributes : -rw-r--r--"},
         Picture::RemoteFile},
        {"remote folder",
         {"incoming", "Folder", "/pub/", "", "Jan  1  2023", "drwxr-xr-x", true, true},
         {"incoming", "Type : Folder", "Folder :/pub/", "", "Last Modification : Jan  1  2023",
          "Attributes : drwxr-xr-x"},
         Picture::RemoteFolder},
        {"local file of zero bytes",
         {"empty.txt", ".txt", "/tmp/", "0", "01/01/2024 00:00", "_____w", false, false},
         {"empty.txt", "Type : .txt", "Folder :/tmp/", "Size : 0 Bytes", "Last Modification : 01/01/2024 00:00",
          "Attributes : _____w"},
         Picture::LocalFile},
    };
    const char* names[] = {"NameLabel", "TypeLabel", "FolderLabel", "SizeLabel", "ModifiedLabel", "AttributesLabel"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFilePropfrm dlg(c.values);
        EXPECT_EQ(dlg.windowTitle(), "File Properties");
        for (size_t i = 0; i < 6; ++i) EXPECT_EQ(text(dlg, names[i]), QString::fromUtf8(c.lines[i])) << names[i];
        EXPECT_EQ(dlg.picture(), c.picture);
        EXPECT_EQ(child<QPushButton>(dlg, "OKBtn")->text(), "&OK");
    }
}

TEST(TFilePropfrm, NameAndAttributesAreBoldTheRestIsNot) {
    TFilePropfrm dlg({"a", ".txt", "/", "1", "x", "-rw-------", false, true});
    const std::vector<std::pair<const char*, bool>> bold = {
        {"NameLabel", true},      {"TypeLabel", false},     {"FolderLabel", false},
        {"SizeLabel", false},     {"ModifiedLabel", false}, {"AttributesLabel", true},
    };
    for (const auto& [name, isBold] : bold) {
        QLabel* l = child<QLabel>(dlg, name);
        ASSERT_NE(nullptr, l);
        EXPECT_EQ(l->font().bold(), isBold) << name;
    }
}

TEST(TFilePropfrm, EmptySizeLineKeepsItsPlace) {
    TFilePropfrm dlg({"photos", "Folder", "/home/", "", "d", "_d____w", true, false});
    dlg.adjustSize();
    QLabel* size = child<QLabel>(dlg, "SizeLabel");
    QLabel* type = child<QLabel>(dlg, "TypeLabel");
    ASSERT_TRUE(size && type);
    EXPECT_TRUE(size->text().isEmpty());
    EXPECT_GE(size->minimumHeight(), type->fontMetrics().height());
}

TEST(TFilePropfrm, PictureChoiceTable) {
    struct Case {
        bool folder, remote;
        Picture picture;
    };
    const Case cases[] = {
        {true, false, Picture::LocalFolder},
        {true, true, Picture::RemoteFolder},
        {false, false, Picture::LocalFile},
        {false, true, Picture::RemoteFile},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TFilePropfrm::pictureFor(c.folder, c.remote), c.picture) << c.folder << c.remote;
}

TEST(TFilePropfrm, FourDistinctPicturesOf32Pixels) {
    const Picture all[] = {Picture::LocalFolder, Picture::RemoteFolder, Picture::LocalFile, Picture::RemoteFile};
    std::vector<QImage> images;
    for (Picture p : all) {
        QPixmap pm = TFilePropfrm::pixmapFor(p);
        EXPECT_EQ(pm.size(), QSize(32, 32));
        images.push_back(pm.toImage());
    }
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t j = i + 1; j < images.size(); ++j) EXPECT_NE(images[i], images[j]) << i << " " << j;

    TFilePropfrm dlg({"x", "Folder", "/", "", "", "", true, true});
    QLabel* image = child<QLabel>(dlg, "Image1");
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(image->pixmap().toImage(), TFilePropfrm::pixmapFor(Picture::RemoteFolder).toImage());
}

TEST(TFilePropfrm, ServerBytesShowAsTextNeverAsMarkup) {
    // A hostile server name with markup, and a Latin-1 name that is not UTF-8.
    TFilePropfrm dlg({"<b>x</b>&amp;", "Link", "/pub/caf\xe9/", "", "", "<i>lrwx</i>", false, true});
    EXPECT_EQ(text(dlg, "NameLabel"), "<b>x</b>&amp;");
    EXPECT_EQ(text(dlg, "FolderLabel"), QString::fromUtf8("Folder :/pub/caf\u00e9/"));
    for (QLabel* l : dlg.findChildren<QLabel*>()) {
        if (l->objectName() == "Image1") continue;
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
    }
}

TEST(TFilePropfrm, OkClosesAcceptedThroughThePrompter) {
    ScopedPrompter prompter;
    prompter->pushDialog([](QDialog& d) {
        QPushButton* ok = d.findChild<QPushButton*>(QStringLiteral("OKBtn"));
        EXPECT_NE(nullptr, ok);
        if (ok) QTest::mouseClick(ok, Qt::LeftButton);
        return d.result();
    });
    TFilePropfrm dlg({"a", ".txt", "/", "1", "x", "-", false, false});
    EXPECT_EQ(uiPrompter().exec(dlg), QDialog::Accepted);
    EXPECT_EQ(prompter->asked(), std::vector<std::string>{"dialog: File Properties"});
}

} // namespace
} // namespace vn
