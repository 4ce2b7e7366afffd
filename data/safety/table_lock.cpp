#include "data/safety/table_lock.h"

#include "core/freed_aside.h"
#include "data/paradox/paradox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace data {

struct TableLock::Claim
{
    std::vector<int> descriptors; // one per file the claim covers; each holds the lock
    std::vector<std::pair<dev_t, ino_t>> files;
    ~Claim()
    {
        for (const int fd : descriptors) {
            // The table a write-back replaced is in no folder any more: it is freed aside.
            struct stat status
            {
            };
            if (::fstat(fd, &status) == 0 && status.st_nlink == 0)
                core::closeAside(fd);
            else
                ::close(fd); // at once: its lock must be free for the next claim
        }
    }
};

namespace {

// The claims this process holds: a second lock through another descriptor would conflict
// with the first, as open-file-description locks do, even in one process.
std::vector<std::weak_ptr<TableLock::Claim>>& heldClaims()
{
    static std::vector<std::weak_ptr<TableLock::Claim>> claims;
    return claims;
}

std::shared_ptr<TableLock::Claim> heldClaimOf(dev_t device, ino_t inode)
{
    for (const auto& weak : heldClaims()) {
        if (auto claim = weak.lock()) {
            for (const auto& [dev, ino] : claim->files) {
                if (dev == device && ino == inode)
                    return claim;
            }
        }
    }
    return nullptr;
}

bool identify(const QString& path, dev_t* device, ino_t* inode)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    *device = status.st_dev;
    *inode = status.st_ino;
    return true;
}

enum class Locked { Yes, HeldElsewhere, NotPossible };

// Locks the claim byte of the file open on fd.
Locked lockClaimByte(int fd)
{
    struct flock lock
    {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kTableClaimByte;
    lock.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return Locked::Yes;
    return errno == EAGAIN || errno == EACCES ? Locked::HeldElsewhere : Locked::NotPossible;
}

// A descriptor of path that holds the claim byte, or -1.
int lockFile(const QString& path, Locked* outcome)
{
    *outcome = Locked::NotPossible;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || (*outcome = lockClaimByte(fd)) != Locked::Yes) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TableLock::TableLock(const QString& dbPath)
{
    // The file a name leads to may be replaced between its open and its lock (a write-back
    // finishing): the claim counts only when the name still leads to the locked file.
    for (int attempt = 0; attempt < 5 && !dbPath.isEmpty(); ++attempt) {
        dev_t device = 0;
        ino_t inode = 0;
        if (!identify(dbPath, &device, &inode))
            return;
        if ((m_claim = heldClaimOf(device, inode)))
            return;
        Locked outcome = Locked::NotPossible;
        const int fd = lockFile(dbPath, &outcome);
        if (outcome == Locked::HeldElsewhere) {
            m_problem
                = u"Another run of the program, or a restore, is writing the table %1 right now (perhaps "
                  "from another installation or user). The table was not changed; start again once it "
                  "has finished."_s.arg(QFileInfo(dbPath).completeBaseName());
            return;
        }
        if (fd < 0)
            return;
        struct stat locked
        {
        };
        dev_t nowDevice = 0;
        ino_t nowInode = 0;
        if (::fstat(fd, &locked) == 0 && identify(dbPath, &nowDevice, &nowInode) && nowDevice == locked.st_dev
            && nowInode == locked.st_ino) {
            m_claim = std::make_shared<Claim>();
            m_claim->descriptors.push_back(fd);
            m_claim->files.emplace_back(locked.st_dev, locked.st_ino);
            heldClaims().push_back(m_claim);
            return;
        }
        ::close(fd);
    }
}

TableLock::TableLock(const paradox::TablePlace& place)
    : TableLock(place.dbPath)
{ }

TableLock::~TableLock()
{
    m_claim.reset();
    auto& claims = heldClaims();
    std::erase_if(claims, [](const std::weak_ptr<Claim>& claim) { return claim.expired(); });
}

void TableLock::coverReplacement(const QString& target, const QString& newFile)
{
    dev_t device = 0;
    ino_t inode = 0;
    if (!identify(target, &device, &inode))
        return;
    const std::shared_ptr<Claim> claim = heldClaimOf(device, inode);
    Locked outcome = Locked::NotPossible;
    const int fd = claim ? lockFile(newFile, &outcome) : -1;
    struct stat status
    {
    };
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    claim->descriptors.push_back(fd);
    claim->files.emplace_back(status.st_dev, status.st_ino);
}

bool TableLock::isClaimed(const QString& dbPath)
{
    const int fd = ::open(QFile::encodeName(dbPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock
    {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kTableClaimByte;
    lock.l_len = 1;
    const bool isHeld = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return isHeld;
}

} // namespace data
