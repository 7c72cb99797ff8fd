#include "ftp/explorer/TSysfrm.h"

#include <sys/statvfs.h>

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <fstream>
#include <mutex>
#include <sstream>

namespace vn {

namespace {
std::mutex g_mutex;
std::function<std::string()> g_reader;

std::uint64_t field(const std::string& text, const std::string& key, bool& found) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() && line[key.size()] == ':') {
            found = true;
            return std::stoull(line.substr(key.size() + 1)); // leading blanks are skipped
        }
    }
    found = false;
    return 0;
}
} // namespace

int memoryLoadFromMeminfo(const std::string& text) {
    bool hasTotal = false, hasAvail = false;
    std::uint64_t total = 0, avail = 0;
    try {
        total = field(text, "MemTotal", hasTotal);
        avail = field(text, "MemAvailable", hasAvail);
        if (!hasAvail) {
            // Older kernels: free plus the page cache.
            bool f1 = false, f2 = false;
            avail = field(text, "MemFree", f1) + field(text, "Cached", f2);
            hasAvail = f1;
        }
    } catch (...) {
        return -1;
    }
    if (!hasTotal || !hasAvail || total == 0) return -1;
    if (avail > total) avail = total;
    return static_cast<int>((total - avail) * 100 / total);
}

std::string readMeminfo() {
    std::function<std::string()> r;
    {
        std::lock_guard lock(g_mutex);
        r = g_reader;
    }
    if (r) return r();
    std::ifstream in("/proc/meminfo");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void setMeminfoReader(std::function<std::string()> reader) {
    std::lock_guard lock(g_mutex);
    g_reader = std::move(reader);
}

bool diskSpace(const std::string& folder, std::uint64_t& total, std::uint64_t& free) {
    struct statvfs st{};
    if (statvfs(folder.c_str(), &st) != 0) return false;
    total = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
    free = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return true;
}

QString TSysfrm::kindCaption(DriveFacts::Kind kind) {
    switch (kind) {
    case DriveFacts::Kind::Removable: return QStringLiteral("REMOVABLE DRIVE");
    case DriveFacts::Kind::Fixed: return QStringLiteral("FIXED DRIVE");
    case DriveFacts::Kind::Remote: return QStringLiteral("REMOTE DRIVE");
    case DriveFacts::Kind::CdRom: return QStringLiteral("CDROM DRIVE");
    case DriveFacts::Kind::RamDisk: return QStringLiteral("RAMDISK DRIVE");
    case DriveFacts::Kind::Error: break;
    }
    return QStringLiteral("ERROR");
}

TSysfrm::TSysfrm(const QString& drive, const DriveFacts& facts, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Sysfrm"));
    setWindowTitle(QStringLiteral("System Information"));
    auto* layout = new QVBoxLayout(this);
    auto label = [&](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        layout->addWidget(l);
        return l;
    };
    heading_ = label("Label1");
    kind_ = label("Label2");
    total_ = label("Label3");
    free_ = label("Label4");
    memory_ = label("Label5");
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    heading_->setText(QStringLiteral("Current drive: ") + drive);
    kind_->setText(kindCaption(facts.kind));
    if (facts.kind == DriveFacts::Kind::Error) return; // nothing else is known
    // Kb: bytes / 1024, in 64 bits so large disks do not wrap.
    total_->setText(QStringLiteral("Total Disk Space : %1 Kb").arg(static_cast<qulonglong>(facts.totalBytes / 1024)));
    free_->setText(QStringLiteral("Free Disk Space : %1 Kb").arg(static_cast<qulonglong>(facts.freeBytes / 1024)));
    memory_->setText(QStringLiteral("Used Memory : %1 %").arg(facts.memoryLoad));
}

QString TSysfrm::heading() const { return heading_->text(); }
QString TSysfrm::kindText() const { return kind_->text(); }
QString TSysfrm::totalText() const { return total_->text(); }
QString TSysfrm::freeText() const { return free_->text(); }
QString TSysfrm::memoryText() const { return memory_->text(); }

} // namespace vn
