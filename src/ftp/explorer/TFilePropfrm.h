#pragma once
// The File Properties dialog of one list item: its name, type, folder, size,
// modification time and attributes, with a picture of its kind. The window
// fills it from the item and shows it through vn::uiPrompter().exec().
#include <QDialog>
#include <QPixmap>

#include <string>

class QLabel;
class QPushButton;

namespace vn {

class TFilePropfrm : public QDialog {
    Q_OBJECT
public:
    // Byte strings as the engines hold them; decoded only for display.
    struct Values {
        std::string name;
        std::string type;        // "Folder" for a folder
        std::string folder;      // the current folder
        std::string size;        // empty for a folder
        std::string modified;
        std::string attributes;
        bool isFolder = false;   // the type is "Folder"
        bool isRemote = false;   // the current folder is on a server
    };

    enum class Picture { LocalFolder, RemoteFolder, LocalFile, RemoteFile };
    static Picture pictureFor(bool isFolder, bool isRemote);
    // The 32x32 picture shown for a kind.
    static QPixmap pixmapFor(Picture picture);

    explicit TFilePropfrm(const Values& values, QWidget* parent = nullptr);

    Picture picture() const { return picture_; }

private:
    Picture picture_;
};

} // namespace vn
