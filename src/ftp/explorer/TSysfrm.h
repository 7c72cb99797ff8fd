#pragma once
// "System Information": facts about the file system of a local folder and the
// machine's memory load. The facts are gathered by the caller (or by
// gatherDriveFacts) so the dialog itself is plain and testable.
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;

namespace vn {

struct DriveFacts {
    enum class Kind { Error, Removable, Fixed, Remote, CdRom, RamDisk } kind = Kind::Error;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    int memoryLoad = 0; // percent of physical memory in use
};

// Percentage of physical memory in use from the text of /proc/meminfo
// (MemTotal less MemAvailable); -1 when the text names neither.
int memoryLoadFromMeminfo(const std::string& text);
// /proc/meminfo of this machine; tests install another reader (nullptr restores).
std::string readMeminfo();
void setMeminfoReader(std::function<std::string()> reader);
// Total and free bytes of the file system holding folder; false when none.
bool diskSpace(const std::string& folder, std::uint64_t& total, std::uint64_t& free);

class TSysfrm : public QDialog {
    Q_OBJECT
public:
    // drive: the folder whose file system is described.
    TSysfrm(const QString& drive, const DriveFacts& facts, QWidget* parent = nullptr);

    QString heading() const;
    QString kindText() const;
    QString totalText() const;
    QString freeText() const;
    QString memoryText() const;

    static QString kindCaption(DriveFacts::Kind kind);

private:
    QLabel* heading_;
    QLabel* kind_;
    QLabel* total_;
    QLabel* free_;
    QLabel* memory_;
};

} // namespace vn
